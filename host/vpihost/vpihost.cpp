// vpihost: runs the driver module as the host runtime does.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/vpihost/driver.h"
#include "host/vpihost/embedded_device.h"
#include "host/vpihost/gates_file.h"
#include "host/vpihost/options.h"
#include "host/vpihost/value_format.h"
#include "host/zelpro/zelpro_host.h"
#include "programs/termination.h"
#include "programs/version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Gate {
  GateEntry entry;
  ParseRequest parsed{};
  int32_t parseResult = 1;
};

bool IsBlock(const Gate& gate) { return gate.entry.blockSize > 0; }
int32_t GateTypeOf(const Gate& gate) { return gate.entry.kind->gateType; }

// Room for the largest value area a gate of this kind can need.
size_t ValueAreaSize(const Gate& gate) { return 16 + 8 * static_cast<size_t>(gate.entry.blockSize); }

GateTransfer TransferFor(Gate& gate, std::vector<uint8_t>& values) {
  GateTransfer t{};
  t.gas = gate.entry.address.c_str();
  t.plc = gate.parsed.plc;
  t.memoryType = gate.parsed.memoryType;
  t.address = gate.parsed.address;
  t.bit = gate.parsed.bit;
  t.width = gate.parsed.width;
  t.gateType = GateTypeOf(gate);
  t.count = IsBlock(gate) ? gate.entry.blockSize : 1;
  values.assign(ValueAreaSize(gate), 0);
  t.values = values.data();
  return t;
}

void PrintRow(size_t index, const Gate& gate, const std::string& value, int32_t result) {
  char resultText[64];
  std::snprintf(resultText, sizeof resultText, "%d %s", result, ResultMeaning(result));
  std::printf("%3zu  %-10s %-8s %-36s %s\n", index + 1, gate.entry.address.c_str(), gate.entry.kind->name,
              value.c_str(), resultText);
}

std::string TextOf(const Gate& gate) {
  char text[256];
  ZelHostGateText(gate.entry.address.c_str(), text, sizeof text);
  return "\"" + std::string(text) + "\"";
}

// Reads every gate once and prints the table; true when every read worked.
// portFailed, if given, tells whether a read failed in transport (result 2).
bool Poll(DriverModule& driver, std::vector<Gate>& gates, bool* portFailed = nullptr) {
  if (portFailed != nullptr) *portFailed = false;
  std::printf("%3s  %-10s %-8s %-36s %s\n", "#", "address", "type", "value", "result");
  bool allDone = true;
  for (size_t i = 0; i < gates.size() && !TerminationRequested(); ++i) {
    Gate& gate = gates[i];
    if (gate.parseResult != 0) {
      PrintRow(i, gate, "(address refused)", gate.parseResult);
      allDone = false;
      continue;
    }
    if (GateTypeOf(gate) == 7) {
      std::printf("%3zu  %-10s %-8s %s\n", i + 1, gate.entry.address.c_str(), "text", TextOf(gate).c_str());
      continue;
    }
    if (gate.parsed.memoryType == 65) {
      std::printf("%3zu  %-10s %-8s %s\n", i + 1, gate.entry.address.c_str(), "trigger",
                  "(write a report number to fetch)");
      continue;
    }
    std::vector<uint8_t> values;
    GateTransfer t = TransferFor(gate, values);
    const int32_t result = driver.Call(IsBlock(gate) ? kCmdBlockRead : kCmdSingleRead, &t);
    const std::string shown = result == 0 ? FormatValues(values.data(), GateTypeOf(gate), gate.parsed.width,
                                                         IsBlock(gate) ? t.count : 0)
                                          : "-";
    PrintRow(i, gate, shown, result);
    allDone = allDone && result == 0;
    if (result == 2 && portFailed != nullptr) *portFailed = true;
  }
  return allDone;
}

int Write(DriverModule& driver, std::vector<Gate>& gates, const std::string& address,
          const std::string& text) {
  Gate* gate = nullptr;
  for (Gate& g : gates) {
    if (g.entry.address == address) gate = &g;
  }
  if (gate == nullptr) {
    std::fprintf(stderr, "vpihost: no gate '%s' in the gates file\n", address.c_str());
    return kExitUsage;
  }
  if (gate->parseResult != 0) {
    std::fprintf(stderr, "vpihost: the driver refused the address '%s'\n", address.c_str());
    return kExitFailed;
  }
  std::vector<uint8_t> values;
  GateTransfer t = TransferFor(*gate, values);
  std::string error;
  const bool trigger = gate->parsed.memoryType == 65 && GateTypeOf(*gate) == 0;
  bool ok = true;
  if (trigger) {
    ok = ParseValue(text, 2, 16, values.data(), &error);
    if (ok && (values[2] < 1 || values[2] > 16 || values[3] != 0)) {
      error = "a report number is 1 to 16";
      ok = false;
    }
  } else if (IsBlock(*gate)) {
    ok = ParseBlockValues(text, GateTypeOf(*gate), gate->parsed.width, values.data(), gate->entry.blockSize,
                          &t.count, &error);
  } else {
    ok = ParseValue(text, GateTypeOf(*gate), gate->parsed.width, values.data(), &error);
  }
  if (!ok) {
    std::fprintf(stderr, "vpihost: %s\n", error.c_str());
    return kExitUsage;
  }
  const int32_t result = driver.Call(IsBlock(*gate) ? kCmdBlockWrite : kCmdSingleWrite, &t);
  std::printf("write %s = %s: %d %s\n", address.c_str(), text.c_str(), result, ResultMeaning(result));
  if (trigger && result == 0) std::printf("report %s fetched into the report-line gates\n", text.c_str());
  return result == 0 ? kExitOk : kExitFailed;
}

void PauseUnlessTerminated(int milliseconds) {
  for (int waited = 0; waited < milliseconds && !TerminationRequested(); waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(20, milliseconds - waited)));
  }
}

int Browse(DriverModule& driver) {
  char buffer[16] = {};
  BrowseRequest request{buffer};
  const int32_t result = driver.Call(kCmdBrowseAddress, &request);
  if (result == 0) {
    std::printf("composed address string: %s\n", buffer);
    return kExitOk;
  }
  std::printf("browse: cancelled (result %d)\n", result);
  return kExitFailed;
}

// "vpihost 1.0.0" first, as help2man reads it, then the module's own line.
int PrintVersion(const std::string& modulePath) {
  std::printf("vpihost %s\n", kProjectVersion);
  std::fflush(stdout);
  DriverModule driver;
  std::string error;
  if (!driver.Load(modulePath, &error)) {
    std::fprintf(stderr, "vpihost: %s\n", error.c_str());
    return kExitUsage;
  }
  VpiInfo info{};
  driver.Info(&info);
  std::string description = info.description != nullptr ? info.description : "";
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) {
    description.pop_back();
  }
  std::printf("module %s: %s: %s\n", modulePath.c_str(), info.name != nullptr ? info.name : "",
              description.c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  options.module = KOVRIN_MODULE_PATH;
  options.gatesFile = KOVRIN_DEMO_GATES;
  std::string error;
  if (!ParseHostOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vpihost: %s (try --help)\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    PrintHostUsage(options);
    return kExitOk;
  }
  if (options.version) return PrintVersion(options.module);
  ZelHostSetMinimumLevel(options.logLevel);
  WatchTerminationRequests();

  DriverModule driver;
  driver.driverNumber = options.driverNumber;
  if (!driver.Load(options.module, &error)) {
    std::fprintf(stderr, "vpihost: %s\n", error.c_str());
    return kExitUsage;
  }
  VpiInfo info{};
  driver.Info(&info);
  std::printf("driver       %s: %s", info.name, info.description);
  if (options.command == "info") {
    std::printf("module       %s\n", options.module.c_str());
    std::printf("instance     %u bytes\n", info.instanceSize);
    std::printf("defaults     %u baud, %d data bits, stop code %d, parity code %d\n", info.defaultBaud,
                info.defaultDataBits, info.defaultStopBits, info.defaultParity);
    return kExitOk;
  }
  if (options.command == "browse") return Browse(driver);

  std::vector<GateEntry> entries;
  if (!LoadGatesFile(options.gatesFile, &entries, &error)) {
    std::fprintf(stderr, "vpihost: %s\n", error.c_str());
    return kExitUsage;
  }

  EmbeddedDevice device;
  std::string port = options.port;
  if (port.empty() && !options.noPort) {
    std::string description;
    if (!device.Start(&port, &description, &error)) {
      std::fprintf(stderr, "vpihost: %s\n", error.c_str());
      return kExitUsage;
    }
    std::printf("device       %s\n", description.c_str());
  } else {
    std::printf("port         %s\n", options.noPort ? "(none)" : port.c_str());
  }

  ColdStartParams start{};
  // The option allows 11 characters; the field keeps its terminating NUL.
  std::memcpy(start.portName, port.c_str(), std::min(port.size(), sizeof start.portName - 1));
  start.portInUse = options.noPort ? 0 : 1;
  start.replyTimeout = options.timeout;
  start.baud = options.baud;
  start.dataBits = options.dataBits;
  start.stopBits = options.stopBits;
  start.parity = options.parity;
  const int32_t started = driver.Call(kCmdColdStart, &start);
  if (started != 0) {
    std::fprintf(stderr, "vpihost: ColdStart failed (%d %s)%s\n", started, ResultMeaning(started),
                 started == 2 ? ": the port cannot be opened" : "");
    driver.Call(kCmdEndVpi, nullptr);
    return kExitUsage;
  }

  std::vector<Gate> gates;
  for (const GateEntry& entry : entries) {
    Gate gate;
    gate.entry = entry;
    gate.parsed.gas = gate.entry.address.c_str();
    gate.parsed.gateType = entry.kind->gateType;
    gate.parsed.blockSize = entry.blockSize;
    gate.parseResult =
        driver.Call(entry.blockSize > 0 ? kCmdBlockAddressParser : kCmdSingleAddressParser, &gate.parsed);
    gate.parsed.gas = nullptr;  // the string moves with the vector; transfers use entry.address
    if (gate.parseResult == 0 && entry.kind->gateType == 7) ZelHostAddGate(entry.address.c_str());
    gates.push_back(gate);
  }

  int status = kExitOk;
  if (options.command == "poll") {
    bool portClosed = false;
    for (int cycle = 0; cycle < options.cycles && !TerminationRequested(); ++cycle) {
      if (cycle > 0) {
        driver.Call(kCmdWarmStart, nullptr);
        PauseUnlessTerminated(options.intervalMs);
        if (TerminationRequested()) break;
      }
      if (options.cycles > 1) std::printf("cycle %d\n", cycle + 1);
      bool portFailed = false;
      if (!Poll(driver, gates, &portFailed)) status = kExitFailed;
      // The device may have gone (an adapter unplugged): close the port and
      // open it again before the next cycle, as a host's port control does,
      // until the device is back.
      // While closed the reads are refused (1) rather than failed in transport.
      if ((portFailed || portClosed) && !options.noPort && cycle + 1 < options.cycles) {
        if (!portClosed) driver.Call(kCmdCloseCom, nullptr);
        const int32_t reopened = driver.Call(kCmdReOpenCom, nullptr);
        portClosed = reopened != 0;
        if (reopened == 0) {
          std::printf("port %s reopened\n", port.c_str());
        } else {
          std::printf("port %s cannot be reopened yet (%d %s)\n", port.c_str(), reopened,
                      ResultMeaning(reopened));
        }
      }
    }
  } else {
    const std::string address = options.arguments[0];
    status = Write(driver, gates, address, options.arguments[1]);
    // Read everything back, so the written value shows in the table.
    if (status != kExitUsage && !Poll(driver, gates)) status = kExitFailed;
  }
  driver.Call(kCmdEndVpi, nullptr);
  if (TerminationRequested()) {
    std::printf("vpihost: interrupted; the driver was ended\n");
    return kExitFailed;
  }
  return status;
}
