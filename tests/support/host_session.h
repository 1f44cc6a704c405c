// The driver as a host drives it, for tests, the benchmark and fuzz targets:
// the driver linked into the program (VpiMain) or a module loaded from a
// file (host/driver: as the host program holds it), one zeroed instance area
// of the size GetVpiInfo announces, and the steps of a session: start, parse
// a gate address, transfer, close. The journal (the driver's log lines) is
// collected from its first use.
//
// No test framework here, and nothing allocated between Start and Close, so
// the benchmark may measure through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/driver/driver_module.h"
#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "tests/support/log_capture.h"

class HostSession {
 public:
  // The driver linked into this program, or another entry point.
  explicit HostSession(VpiEntry entry = &VpiMain, int32_t driverNumber = 1);
  // The module at modulePath, loaded now; see loaded() and error().
  explicit HostSession(const char* modulePath, int32_t driverNumber = 1);
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  bool loaded() const { return driver_.loaded(); }
  const std::string& error() const { return error_; }

  // One command for this session's instance.
  int32_t Call(uint32_t command, void* params) { return driver_.Call(command, params); }
  // One command for another instance area (null, or one the host never
  // started), as a careless host may send.
  int32_t CallFor(void* instance, uint32_t command, void* params) {
    return driver_.CallFor(instance, command, params);
  }

  // ColdStart on port at 8 data bits, no parity, one stop bit.
  int32_t Start(const char* port, uint32_t replyTimeout, uint16_t baud = 9600);
  int32_t Close() { return Call(kCmdCloseCom, nullptr); }

  // The address parser for gas (the block parser when blockSize is above 0)
  // into parsed, which keeps gas as the host does.
  int32_t Parse(const char* gas, int32_t gateType, ParseRequest* parsed, int32_t blockSize = 0);
  // The transfer record a host builds from a parse result.
  static GateTransfer TransferFor(const ParseRequest& parsed, int32_t count, void* values);
  // Parses gas, then reads into values or writes them: SingleRead or
  // SingleWrite for a count of 1, else the block commands. The parser's
  // result when it refuses the address.
  int32_t Read(const char* gas, int32_t gateType, void* values, int32_t count = 1);
  int32_t Write(const char* gas, int32_t gateType, void* values, int32_t count = 1);

  // Fills the instance area with byte, as a host's fresh allocation may be.
  void FillArea(uint8_t byte);

  VpiInstance& instance() { return *static_cast<VpiInstance*>(driver_.area()); }
  // The driver's log lines since the first call of journal().
  LogCapture& journal();

 private:
  int32_t Transfer(const char* gas, int32_t gateType, void* values, int32_t count, bool write);
  void MakeArea();

  DriverModule driver_;
  std::string error_;
  // After driver_: the capture ends before the module is unloaded.
  std::unique_ptr<LogCapture> journal_;
};
