#include "bench/report_texts.h"

#include <cstdio>

int ReportNumberForPackets(int packets) {
  for (int i = 0; i < kReportCount; ++i) {
    if (kReportPackets[i] == packets) return i + 1;
  }
  return 0;
}

std::string ReportText(int number) {
  if (number < 1 || number > kReportCount) return {};
  // The end-of-report character falls inside the last packet.
  const size_t length = static_cast<size_t>(kReportPacketText) * (kReportPackets[number - 1] - 1) + 100;
  std::string text;
  text.reserve(length + 32);
  for (int line = 1; text.size() < length; ++line) {
    char row[40];
    std::snprintf(row, sizeof row, "REPORT %02d LINE %04d  FLOW 12.5\r\n", number, line);
    text += row;
  }
  text.resize(length);
  return text;
}
