// Why the driver refuses a gate: its parser says so in its log, at level 32
// or only at 8. While vpihost parses the gates it holds each parse's lines
// (JournalTap::Hold) and shows those of accepted gates as the library
// would; a refused gate's lines become its refusal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host/vpihost/gates_file.h"

struct GateRefusal {
  GateEntry entry;
  std::vector<std::string> lines;  // the driver's log lines of the parse
};

// One line a refused gate: "FILE:LINE: ADDRESS TYPE [BLOCK]: the driver's
// line" (several joined with " / ").
std::string RefusalText(const GateRefusal& refusal);
// The refusals, headed by how many of how many gates, on out.
void PrintRefusals(std::FILE* out, const std::vector<GateRefusal>& refusals, size_t gates);
