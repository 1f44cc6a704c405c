// The init file: per-station settings read at every ColdStart (and by the
// browse dialog to learn the number base).
#pragma once

#include <cstdio>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "transfer/station_health.h"

namespace kovrin {

constexpr char kInitFileBaseName[] = "KOVRIN";
constexpr int kInitFileNameSize = 40;

// Tries "<base>NN.INT", "<base>N.INT", "<base>.INT" in the current directory
// (each whatever the case of its letters) and returns the first that opens,
// or null. The name tried is left in nameBuffer. The file is to be read
// with ReadInitLine.
FILE* OpenInitFile(const char* baseName, char (&nameBuffer)[kInitFileNameSize], int driverNumber);

// Reads an init file as text mode on Windows does, on every platform.
struct InitFileReader {
  FILE* file;
  int pending = -2;  // a character read ahead after a CR, or -2 for none
  bool ended = false;
};
// Reads the next line, LF included, into line: at most size - 1 characters,
// so that a longer line comes in pieces (as fgets does). False at the end.
bool ReadInitLine(InitFileReader* reader, char* line, size_t size);

// Applies the init file of driverNumber to the instance and logs the
// resulting settings. Every problem is logged; defaults stand.
// Gives the station demotion the file asks for (none without DEMOTE), which
// is kept beside the instance rather than in it.
DemoteSetting ReadInitFile(VpiInstance* instance, int32_t driverNumber);

}  // namespace kovrin
