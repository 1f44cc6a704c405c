// The host's journal: the one service of the host library that every layer
// of the driver writes to; host_library.h declares the host's other
// services.
#pragma once

#include "platform/win32.h"

extern "C" {
// Writes one log line, printf-style. The result is never read.
int VPI_CDECL err(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
}

// Log levels the driver uses.
enum LogLevel : int {
  kLogTrace = 0,   // write-retry traces
  kLogDetail = 8,  // transport diagnostics, field-level refusals
  kLogMajor = 32,  // start-up, configuration, refusals, write and report failures
};
