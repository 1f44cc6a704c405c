// Report retrieval with function 65: a write of a report number to a report
// trigger gate ("!R" + plc) fetches the report packet by packet and spreads
// its text over the host's report-line gates.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"

constexpr int kReportPackets = 64;
constexpr int kReportTextPerPacket = 128;
constexpr int kReportPieceLength = 80;
constexpr int kReportLines = 110;
constexpr char kEndOfReport = 0x1A;    // CTRL-Z
constexpr int kLastReportNumber = 16;  // reports 1 to 16
constexpr int kReportRequestLength = 6;

// True when the address string starts with '!' and 'R' (second character
// upper-cased). Reads at most 19 characters; a null string is no trigger.
bool IsReportTrigger(const char* gas);

// The whole fetch for SingleWrite; 0, or 1 or the failing packet's result.
int32_t ReadReport(VpiRequest* request);

// One packet through the read retry scheme; sets *endOfReport when CTRL-Z
// arrived. 0, 1 or 2.
int ReadReportPacket(VpiRequest* request, int plc, uint8_t function, uint16_t reportCode, uint16_t packet,
                     bool* endOfReport);

// Writes the 6-byte request into buffer; gives 6.
int BuildReportRequest(uint8_t* buffer, int plc, uint8_t function, uint16_t reportCode, uint16_t packet);

// Appends the packet's text (reply bytes 6 to 133) to the ReportBuffer.
int CollectReportText(VpiInstance* instance, const uint8_t* reply, bool* endOfReport);

// Stores the collected text into the report-line gates; 0, or 1 when the
// host refuses a text.
int DistributeReport(VpiRequest* request, int plc, int report);

// The 16-bit request code of report 1 to 16 (9101 ... 9208).
uint16_t ReportCode(int report);
