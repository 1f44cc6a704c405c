// The report fixtures that every slave of the benchmark serves: report n
// (1 to 7) spans kReportPackets[n - 1] function-65 packets, so the cost of a
// report fetch can be measured against its length.
#pragma once

#include <string>

constexpr int kReportPackets[] = {1, 2, 4, 8, 16, 32, 64};
constexpr int kReportCount = sizeof kReportPackets / sizeof kReportPackets[0];
constexpr int kReportPacketText = 128;

// The report number whose text spans that many packets; 0 when there is none.
int ReportNumberForPackets(int packets);
// The text of report number (without the end-of-report character); empty
// for numbers outside 1 to kReportCount.
std::string ReportText(int number);
