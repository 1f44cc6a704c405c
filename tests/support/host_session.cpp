#include "tests/support/host_session.h"

#include <cstring>

HostSession::HostSession(VpiEntry entry, int32_t driverNumber) : driver_(entry) {
  driver_.driverNumber = driverNumber;
  MakeArea();
}

HostSession::HostSession(const char* modulePath, int32_t driverNumber) {
  driver_.driverNumber = driverNumber;
  driver_.Load(modulePath, &error_);
  MakeArea();
}

void HostSession::MakeArea() {
  // The host sizes the area by GetVpiInfo and leaves it as ColdStart finds
  // it; a zeroed area stands for a fresh allocation.
  VpiInfo info{};
  uint32_t size = kInstanceSize;
  if (CallFor(nullptr, kCmdGetVpiInfo, &info) == kResultDone && info.instanceSize != 0) {
    size = info.instanceSize;
  }
  if (size < sizeof(VpiInstance)) size = sizeof(VpiInstance);
  driver_.MakeArea(size, 0);
}

void HostSession::FillArea(uint8_t byte) { std::memset(driver_.area(), byte, driver_.areaSize()); }

int32_t HostSession::Start(const char* port, uint32_t replyTimeout, uint16_t baud) {
  ColdStartParams params{};
  // The host's field: up to 12 characters, the rest zero, no terminator
  // when all 12 are used.
  for (size_t i = 0, end = std::strlen(port); i < sizeof params.portName; ++i) {
    params.portName[i] = i < end ? port[i] : '\0';
  }
  params.portInUse = 1;
  params.replyTimeout = replyTimeout;
  params.baud = baud;
  params.dataBits = 8;
  return Call(kCmdColdStart, &params);
}

int32_t HostSession::Parse(const char* gas, int32_t gateType, ParseRequest* parsed, int32_t blockSize) {
  *parsed = ParseRequest{};
  parsed->gas = gas;
  parsed->gateType = gateType;
  parsed->blockSize = blockSize;
  return Call(blockSize > 0 ? kCmdBlockAddressParser : kCmdSingleAddressParser, parsed);
}

GateTransfer HostSession::TransferFor(const ParseRequest& parsed, int32_t count, void* values) {
  GateTransfer t{};
  t.gas = parsed.gas;
  t.plc = parsed.plc;
  t.memoryType = parsed.memoryType;
  t.address = parsed.address;
  t.bit = parsed.bit;
  t.width = parsed.width;
  t.gateType = parsed.gateType;
  t.count = count;
  t.values = values;
  return t;
}

int32_t HostSession::Transfer(const char* gas, int32_t gateType, void* values, int32_t count, bool write) {
  ParseRequest parsed;
  const bool block = count != 1;
  const int32_t parse = Parse(gas, gateType, &parsed, block ? count : 0);
  if (parse != kResultDone) return parse;
  GateTransfer t = TransferFor(parsed, count, values);
  const uint32_t command =
      write ? (block ? kCmdBlockWrite : kCmdSingleWrite) : (block ? kCmdBlockRead : kCmdSingleRead);
  return Call(command, &t);
}

int32_t HostSession::Read(const char* gas, int32_t gateType, void* values, int32_t count) {
  return Transfer(gas, gateType, values, count, false);
}

int32_t HostSession::Write(const char* gas, int32_t gateType, void* values, int32_t count) {
  return Transfer(gas, gateType, values, count, true);
}

LogCapture& HostSession::journal() {
  if (!journal_) journal_ = std::make_unique<LogCapture>();
  return *journal_;
}
