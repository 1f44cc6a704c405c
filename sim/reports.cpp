#include "sim/reports.h"

#include <cstdio>
#include <cstring>

namespace sim {

int ReportNumberOfCode(uint16_t code) {
  if (code >= 9101 && code <= 9108) return code - 9100;
  if (code >= 9201 && code <= 9208) return code - 9200 + 8;
  return 0;
}

uint16_t ReportCodeOfNumber(int number) {
  if (number < 1 || number > 16) return 0;
  return static_cast<uint16_t>(number <= 8 ? 9100 + number : 9200 + number - 8);
}

ReportText GeneratedReport(uint8_t station, int number) {
  ReportText report;
  const int lines = 4 * number;
  for (int line = 1; line <= lines; ++line) {
    char text[40];
    std::snprintf(text, sizeof text, "S%03d R%04d LINE %03d", station, ReportCodeOfNumber(number), line);
    std::string piece(text);
    piece.resize(30, ' ');
    piece += "\r\n";
    report.text.insert(report.text.end(), piece.begin(), piece.end());
  }
  return report;
}

namespace {

// Printable, position-revealing filler: "0123456789ABCDEF..." over and over.
std::vector<uint8_t> CountingText(size_t length) {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::vector<uint8_t> text(length);
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<uint8_t>(kDigits[i % 36]);
  return text;
}

}  // namespace

bool SpecialReport(const std::string& name, ReportText* report) {
  if (name == "empty") {
    *report = ReportText{};
  } else if (name == "exact80") {
    *report = ReportText{CountingText(80), true};
  } else if (name == "full8192") {
    *report = ReportText{CountingText(8192), false};
  } else if (name == "nul") {
    static const char kText[] = "BEFORE NUL\0AFTER NUL";
    report->text.assign(kText, kText + sizeof kText - 1);
    report->endMark = true;
  } else {
    return false;
  }
  return true;
}

std::vector<uint8_t> ReportPacketText(const ReportText& report, uint16_t packet) {
  std::vector<uint8_t> out(kReportPacketText, 0);
  const size_t first = static_cast<size_t>(packet) * kReportPacketText;
  for (size_t i = 0; i < kReportPacketText; ++i) {
    const size_t pos = first + i;
    if (pos < report.text.size()) {
      out[i] = report.text[pos];
    } else {
      if (pos == report.text.size() && report.endMark) out[i] = kReportEnd;
      break;
    }
  }
  return out;
}

}  // namespace sim
