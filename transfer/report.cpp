#include "transfer/report.h"

#include <cstdlib>

#include "address/report_address.h"
#include "host_interface/host_library.h"
#include "transfer/exchange.h"
#include "transfer/read.h"
#include "transfer/value_area.h"

namespace kovrin {

namespace {

const char* const kReportCodeTable[kReportNumberMax] = {
    "9101", "9102", "9103", "9104", "9105", "9106", "9107", "9108",
    "9201", "9202", "9203", "9204", "9205", "9206", "9207", "9208",
};

constexpr int kReportTextOffset = 6;  // slave, function, report code, packet number

}  // namespace

uint16_t ReportCode(int report) { return static_cast<uint16_t>(std::atoi(kReportCodeTable[report - 1])); }

int BuildReportRequest(uint8_t* buffer, int plc, uint8_t function, uint16_t reportCode, uint16_t packet) {
  buffer[0] = static_cast<uint8_t>(plc);
  buffer[1] = function;
  StoreBe16(buffer + 2, reportCode);
  StoreBe16(buffer + 4, packet);
  return kReportRequestLength;
}

void CollectReportText(VpiInstance* instance, const uint8_t* reply, bool* endOfReport) {
  for (int i = kReportTextOffset; i < kReportTextOffset + kReportTextPerPacket; ++i) {
    // 64 packets of 128 bytes leave room for the closing NUL.
    if (instance->ReportPos < 0 || instance->ReportPos >= kReportBufferSize) break;
    if (reply[i] == kEndOfReport) {
      instance->ReportBuffer[instance->ReportPos] = '\0';
      *endOfReport = true;
      break;
    }
    instance->ReportBuffer[instance->ReportPos++] = static_cast<char>(reply[i]);
  }
}

TransferResult ReadReportPacket(VpiInstance* instance, const GateTransfer* gate, uint8_t function,
                                uint16_t reportCode, uint16_t packet, bool* endOfReport) {
  const int plc = gate->plc;
  const int length = BuildReportRequest(instance->txBuffer, plc, function, reportCode, packet);
  int replyLength = 0;
  const TransferResult result = Exchange(instance, length, ExpectedReplyFor(gate, instance->txBuffer, false),
                                         kReadRetryPolicy, &replyLength);
  if (result != TransferResult::kDone) return result;
  CollectReportText(instance, instance->rxBuffer, endOfReport);
  return TransferResult::kDone;
}

TransferResult DistributeReport(VpiInstance* instance, int32_t driverNumber, int plc, int report) {
  instance->ReportPos = 0;
  bool exhausted = false;
  // The report-line gates are found by their address strings. Stored gate
  // lists spell plc, report and line in decimal, in base H too; HEXREPORTS
  // selects the hexadecimal spelling in base H, as the address dialog
  // composes it. "R", plc and report stay the same for every line.
  const bool hex = instance->base == 'H' && (instance->flags & kFlagHexReports) != 0;
  int stored = 0;
  char address[kReportLineLength + 1];
  for (int line = 1; line <= kReportLineMax; ++line) {
    SpellReportLineAddress(address, plc, report, line, hex);
    int32_t gateId = 0;
    if ((ZelGetGateIdByAddressStr(instance->clientId, static_cast<unsigned char>(driverNumber), address,
                                  &gateId) &
         0xFFFF) != 0) {
      continue;
    }
    char piece[kReportPieceLength + 1];
    int n = 0;
    if (!exhausted) {
      while (n < kReportPieceLength && instance->ReportPos < kReportBufferSize &&
             instance->ReportBuffer[instance->ReportPos] != '\0') {
        piece[n++] = instance->ReportBuffer[instance->ReportPos++];
      }
    }
    piece[n] = '\0';
    if ((ZelPutGateStr(instance->clientId, gateId, 2, piece, 0, 0) & 0xFFFF) != 0)
      return TransferResult::kFailed;
    ++stored;
    if (instance->ReportPos >= kReportBufferSize || instance->ReportBuffer[instance->ReportPos] == '\0') {
      exhausted = true;
    }
  }
  if (stored == 0 && instance->base == 'H') {
    // Most likely the gate list was written to the other spelling.
    err(kLogMajor,
        "KOVRIN> SingleWrite(), no report line gate of Report %d, plc %d spelt in %s; HEXREPORTS = %s spells "
        "them in %s",
        report, plc, hex ? "hexadecimal" : "decimal", hex ? "NO" : "YES", hex ? "decimal" : "hexadecimal");
  }
  if (!exhausted) {
    err(kLogMajor, "KOVRIN> SingleWrite(),can't supply full Report %d from plc %d (not enough TAGs)", report,
        plc);
  }
  return TransferResult::kDone;
}

TransferResult ReadReport(VpiInstance* instance, const GateTransfer* gate, int32_t driverNumber) {
  const int plc = gate->plc;
  const int report = LoadLe16(static_cast<const uint8_t*>(gate->values) + 2);
  if (report < 1 || report > kReportNumberMax) return TransferResult::kFailed;
  // The request's function is the gate's memory type, 65 for every trigger
  // the address parser accepts; any other would send a read or even a write
  // (function 5, 6, 15 or 16) with the report code as its address.
  if (gate->memoryType != kMemReport) {
    err(kLogDetail, "KOVRIN> SingleWrite() report trigger with memory type %d", gate->memoryType);
    return TransferResult::kFailed;
  }
  const uint16_t code = ReportCode(report);
  if (instance->portOpen == 0) return TransferResult::kFailed;

  instance->ReportPos = 0;
  bool endOfReport = false;
  const auto function = static_cast<uint8_t>(gate->memoryType);
  for (int packet = 0; packet < kReportPackets && !endOfReport; ++packet) {
    const TransferResult result =
        ReadReportPacket(instance, gate, function, code, static_cast<uint16_t>(packet), &endOfReport);
    if (result != TransferResult::kDone) {
      err(kLogMajor, "KOVRIN> SingleWrite(),bad packet %d: Report %d, plc %d, rc %d", packet, report, plc,
          static_cast<int>(HostResultOf(result)));
      return result;
    }
  }
  if (!endOfReport) {
    err(kLogMajor, "KOVRIN> SingleWrite(),wasn't received End of Report %d, plc %d (CTRL-Z)", report, plc);
    return TransferResult::kFailed;
  }
  return DistributeReport(instance, driverNumber, plc, report);
}

}  // namespace kovrin
