// The init file: per-station settings read at every ColdStart (and by the
// browse dialog to learn the number base).
#pragma once

#include <cstdio>

#include "entry/host_records.h"

constexpr char kInitFileBaseName[] = "KOVRIN";
constexpr int kInitFileNameSize = 40;

// Tries "<base>NN.INT", "<base>N.INT", "<base>.INT" in the current directory
// and returns the first that opens (text mode), or null. The name of the
// opened file is left in nameBuffer.
FILE* OpenInitFile(const char* baseName, char (&nameBuffer)[kInitFileNameSize], int driverNumber);

// Applies the init file of request->driverNumber to request->instance and
// logs the resulting settings. Every problem is logged; defaults stand.
void ReadInitFile(VpiRequest* request);
