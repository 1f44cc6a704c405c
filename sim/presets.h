// Presets of station data and reports, in the text form shared by the
// command line (--set, --report) and value files.
//
// One assignment:   [STATION:]AREA:ADDRESS=VALUE[,VALUE...]
//   STATION   1..247; without it the assignment applies to every station
//   AREA      coil, input (discrete input), ir (input register), hr (holding register)
//   ADDRESS   0..65535, decimal or 0x hex; the values fill consecutive addresses
//   VALUE     for coils and inputs 0 or 1; for registers a 16-bit number
//             (0..65535, 0x hex, or -32768..-1 as two's complement), or a
//             32-bit value filling two registers:
//               float:X        IEEE single, high word first (register n = high word)
//               float-swap:X   IEEE single, low word first
//               ulong:N        0..4294967295 (or -2147483648..-1), high word first
//               ulong-swap:N   low word first
// One report:       [STATION:]report:NUMBER=SOURCE
//   NUMBER    1..16 (report codes 9101..9108 are 1..8, 9201..9208 are 9..16)
//   SOURCE      generated, empty, exact80, full8192, nul (see sim/reports.h),
//             file:PATH (the file's bytes, then CTRL-Z) or raw:PATH (the
//             file's bytes, no CTRL-Z added)
//
// A value file holds one assignment or report per line; blank lines and
// lines starting with # are skipped, and relative PATHs are taken from the
// value file's folder. Example:
//   # station 3 only
//   3:hr:100=1234,0x00FF,-1
//   hr:200=float:3.5,ulong-swap:0x12345678
//   coil:0=1,1,0,1
//   2:report:1=file:reports/daily.txt
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/reports.h"
#include "sim/station.h"

namespace sim {

struct ValuePreset {
  int station = 0;  // 0: every station
  Area area = Area::kHoldingRegister;
  uint16_t address = 0;
  std::vector<uint16_t> values;  // consecutive addresses from address
};

struct ReportPreset {
  int station = 0;  // 0: every station
  int number = 1;
  bool generated = false;  // the station's own generated text
  ReportText text;
};

struct Presets {
  std::vector<ValuePreset> values;
  std::vector<ReportPreset> reports;
};

// "1,2,10-12": station addresses 1..247, kept in order without repeats.
bool ParseStationList(std::string_view text, std::vector<uint8_t>* stations, std::string* error);
// One assignment or report, added to presets.
bool ParsePreset(std::string_view text, const std::string& baseDir, Presets* presets, std::string* error);
bool LoadValueFile(const std::string& path, Presets* presets, std::string* error);
// Applies what names this station (or every station).
void ApplyPresets(const Presets& presets, Station& station);

// The two registers of a 32-bit value, in the order they sit at n, n + 1.
std::vector<uint16_t> FloatRegisters(float value, bool lowWordFirst);
std::vector<uint16_t> UlongRegisters(uint32_t value, bool lowWordFirst);

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);

}  // namespace sim
