// Report texts served with function 65.
//
// A request names a report by its code: 9101..9108 are reports 1..8 and
// 9201..9208 reports 9..16. Reply packet n (counted from 0) carries the bytes
// 128n .. 128n + 127 of the served stream: the report text, then CTRL-Z
// (0x1A) when the text has an end mark, then NUL filler. Packets past the
// stream are all filler.
//
// Generated report r of station s (the default): 4 x r lines of 32 bytes,
//   "S%03d R%04d LINE %03d" padded with spaces to 30 characters, then CR LF,
// with s the station, the report code and the line number from 1; so report
// 1 is 128 bytes (one full packet, CTRL-Z opening packet 1) and report 16 is
// 2048 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr uint8_t kReportEnd = 0x1A;
constexpr size_t kReportPacketText = 128;
constexpr size_t kReportReplyLength = 136;  // slave, 65, code, packet, text, CRC

struct ReportText {
  std::vector<uint8_t> text;
  bool endMark = true;  // CTRL-Z after the text
};

// Report number 1..16 for a report code, or 0 when the code names none.
int ReportNumberOfCode(uint16_t code);
uint16_t ReportCodeOfNumber(int number);

ReportText GeneratedReport(uint8_t station, int number);

// The named special texts of the command line:
//   "empty"     no text: packet 0 starts with CTRL-Z
//   "exact80"   exactly 80 printable bytes, then CTRL-Z
//   "full8192"  8192 printable bytes and no CTRL-Z (64 full packets)
//   "nul"       "BEFORE NUL", a NUL byte, "AFTER NUL", then CTRL-Z
// Returns false for another name.
bool SpecialReport(const std::string& name, ReportText* report);

// The 128 text bytes of packet n.
std::vector<uint8_t> ReportPacketText(const ReportText& report, uint16_t packet);

}  // namespace sim
