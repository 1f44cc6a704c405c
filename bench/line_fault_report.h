// The tables of the multi-drop line and the echoing line, and the check of
// their targets: once demoted, a silent station costs the cycle at most 10%
// over the all-answering one; it is back within one probe period of
// answering again; every transaction on the echoing line succeeds.
#pragma once

#include <cstdio>

#include "bench/results.h"

constexpr double kDemotedCycleLimit = 1.10;  // the cycle with a demoted station, x the all-answering one
constexpr int kEchoedRequestBytes = 8;       // a single-register read

// Nothing when the results hold none of their records.
void PrintLineFaultTables(const Results& results, std::FILE* out);

// One PASS or FAIL line a target; true when none failed (and there was
// something to judge).
bool CheckLineFaultTargets(const Results& results, std::FILE* out);
