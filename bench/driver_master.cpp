#include "bench/driver_master.h"

#include <cstdio>
#include <cstring>

#include "bench/report_texts.h"
#include "host_interface/host_library.h"
#include "entry/vpi_main.h"
#include "host/zelpro/zelpro_host.h"

namespace {

constexpr uint32_t kReplyTimeout = 100;  // 1 s, in units of 10 ms
constexpr int kReportLines = 110;

// Start-up messages stay out of the benchmark's output; failures show up as
// results.
void QuietSink(int, const char*, void*) {}

void PutWord(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

DriverMaster::~DriverMaster() { Close(); }

int32_t DriverMaster::Call(uint32_t command, void* params) { return host_.Call(command, params); }

bool DriverMaster::Open(int baud, std::string* error, const char* port) {
  ZelHostSetLogSink(QuietSink, nullptr);
  VpiInfo info{};
  if (Call(kCmdGetVpiInfo, &info) != kResultDone || info.instanceSize == 0) {
    *error = "GetVpiInfo failed";
    return false;
  }
  if (host_.Start(port, kReplyTimeout, static_cast<uint16_t>(baud)) != kResultDone) {
    *error = std::string("ColdStart failed on ") + port;
    return false;
  }
  open_ = true;
  return true;
}

void DriverMaster::Close() {
  if (!open_) return;
  Call(kCmdCloseCom, nullptr);
  open_ = false;
}

bool DriverMaster::Prepare(const Scenario& scenario, std::string* error) {
  scenario_ = &scenario;
  std::memset(&parsed_, 0, sizeof parsed_);
  uint32_t command = kCmdSingleAddressParser;
  switch (scenario.operation) {
    case Operation::kSingleRead:
    case Operation::kSingleWrite:
      std::snprintf(gas_, sizeof gas_, "0140001");  // holding register 1, plc 1
      parsed_.gateType = kGateInt16;
      break;
    case Operation::kFloatRead:
      std::snprintf(gas_, sizeof gas_, "0170001");  // float in holding registers 1-2
      parsed_.gateType = kGateFloat;
      break;
    case Operation::kBlockRead:
    case Operation::kBlockWrite:
      std::snprintf(gas_, sizeof gas_, "0140001");
      parsed_.gateType = kGateInt16;
      parsed_.blockSize = scenario.count;
      command = kCmdBlockAddressParser;
      break;
    case Operation::kReport: {
      reportNumber_ = static_cast<uint16_t>(ReportNumberForPackets(scenario.count));
      if (reportNumber_ == 0) {
        *error = "no report of that length";
        return false;
      }
      std::snprintf(gas_, sizeof gas_, "!R01");
      parsed_.gateType = kGateRegisterOrTrigger;
      // The host's report-line gates that receive the text. A host's
      // records exist before the driver stores into them: each gate gets a
      // full-length text once, so the stores of a fetch allocate nothing.
      ZelHostClearGates();
      const char fullLine[] =
          "--------------------------------------------------------------------------------";
      for (int line = 1; line <= kReportLines; ++line) {
        char address[16];
        std::snprintf(address, sizeof address, "R01%02u%03d", static_cast<unsigned>(reportNumber_), line);
        ZelPutGateStr(0, ZelHostAddGate(address), 2, fullLine, 0, 0);
      }
      break;
    }
  }
  parsed_.gas = gas_;
  if (Call(command, &parsed_) != kResultDone) {
    *error = std::string("the driver refused the gate ") + gas_;
    return false;
  }
  return true;
}

bool DriverMaster::Transact() {
  // The host fills the record afresh for every request.
  GateTransfer transfer{};
  transfer.gas = gas_;
  transfer.plc = parsed_.plc;
  transfer.memoryType = parsed_.memoryType;
  transfer.address = parsed_.address;
  transfer.bit = parsed_.bit;
  transfer.width = parsed_.width;
  transfer.gateType = parsed_.gateType;
  transfer.count = 1;
  transfer.values = values_;
  uint32_t command = kCmdSingleRead;
  switch (scenario_->operation) {
    case Operation::kSingleRead:
    case Operation::kFloatRead:
      break;
    case Operation::kBlockRead:
      command = kCmdBlockRead;
      transfer.count = scenario_->count;
      break;
    case Operation::kSingleWrite:
      command = kCmdSingleWrite;
      PutWord(values_ + 2, nextValue_++);
      break;
    case Operation::kBlockWrite:
      command = kCmdBlockWrite;
      transfer.count = scenario_->count;
      for (int i = 0; i < scenario_->count; ++i)
        PutWord(values_ + 2 * i, static_cast<uint16_t>(nextValue_ + i));
      ++nextValue_;
      break;
    case Operation::kReport:
      command = kCmdSingleWrite;
      PutWord(values_ + 2, reportNumber_);
      break;
  }
  return Call(command, &transfer) == kResultDone;
}
