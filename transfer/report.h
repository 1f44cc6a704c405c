// Report retrieval with function 65: a write of a report number to a report
// trigger gate ("!R" + plc) fetches the report packet by packet and spreads
// its text over the host's report-line gates.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "address/report_address.h"
#include "host_interface/instance.h"
#include "transfer/transfer_result.h"

namespace kovrin {

constexpr int kReportPackets = 64;
constexpr int kReportTextPerPacket = 128;
constexpr int kReportPieceLength = 80;
constexpr char kEndOfReport = 0x1A;  // CTRL-Z
constexpr int kReportRequestLength = 6;

// The whole fetch for SingleWrite of the trigger gate; fails as the failing
// packet did. driverNumber finds the report-line gates.
TransferResult ReadReport(VpiInstance* instance, const GateTransfer* gate, int32_t driverNumber);

// One packet through the read retry scheme; sets *endOfReport when CTRL-Z
// arrived.
TransferResult ReadReportPacket(VpiInstance* instance, const GateTransfer* gate, uint8_t function,
                                uint16_t reportCode, uint16_t packet, bool* endOfReport);

// Writes the 6-byte request into buffer; gives 6.
int BuildReportRequest(uint8_t* buffer, int plc, uint8_t function, uint16_t reportCode, uint16_t packet);

// Appends the packet's text (reply bytes 6 to 133) to the ReportBuffer.
void CollectReportText(VpiInstance* instance, const uint8_t* reply, bool* endOfReport);

// Stores the collected text into the report-line gates of the driver
// number; fails when the host refuses a text.
TransferResult DistributeReport(VpiInstance* instance, int32_t driverNumber, int plc, int report);

// The 16-bit request code of report 1 to 16 (9101 ... 9208).
uint16_t ReportCode(int report);

}  // namespace kovrin
