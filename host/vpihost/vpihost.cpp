// vpihost: runs the driver module as the host runtime does.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/driver/driver_module.h"
#include "host/vpihost/embedded_device.h"
#include "host/vpihost/failure_cause.h"
#include "host/vpihost/gate_arguments.h"
#include "host/vpihost/gate_refusals.h"
#include "host/vpihost/gates_file.h"
#include "host/vpihost/hex_values.h"
#include "host/vpihost/options.h"
#include "host/vpihost/poll_output.h"
#include "host/vpihost/poll_summary.h"
#include "host/vpihost/port_link.h"
#include "host/vpihost/scan.h"
#include "host/vpihost/stations.h"
#include "host/vpihost/value_format.h"
#include "host/zelpro/zelpro_host.h"
#include "programs/port_problem.h"
#include "programs/stdout_mode.h"
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
// Texts are the host's and triggers are written: neither is read.
bool IsRead(const Gate& gate) {
  return gate.parseResult == 0 && GateTypeOf(gate) != 7 && gate.parsed.memoryType != 65;
}

void ParseGate(DriverModule& driver, Gate& gate) {
  gate.parsed.gas = gate.entry.address.c_str();
  gate.parsed.gateType = gate.entry.kind->gateType;
  gate.parsed.blockSize = gate.entry.blockSize;
  gate.parseResult =
      driver.Call(IsBlock(gate) ? kCmdBlockAddressParser : kCmdSingleAddressParser, &gate.parsed);
  gate.parsed.gas = nullptr;  // the string moves with the vector; transfers use entry.address
}

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

std::string TextOf(const Gate& gate) {
  char text[256];
  ZelHostGateText(gate.entry.address.c_str(), text, sizeof text);
  return text;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// When a poll stops early: Ctrl-C, or the run's time is up.
struct PollLimits {
  bool timed = false;
  std::chrono::steady_clock::time_point deadline;

  bool TimeIsUp() const { return timed && std::chrono::steady_clock::now() >= deadline; }
  bool Stop() const { return TerminationRequested() || TimeIsUp(); }
};

// Reads every gate once and hands each reading to the writer, with the cause
// of each failure from the journal lines the transfer wrote; true when every
// read worked. portFailed, if given, tells whether a read failed in transport
// (result 2) because the port failed. summary, if given, counts the
// transfers, for their stations too. portClosed: vpihost closed the port
// and could not open it again, so every read is refused.
bool Poll(DriverModule& driver, std::vector<Gate>& gates, int cycle, ReadingsWriter& writer,
          const PollLimits& limits, JournalTap& journal, PollSummary* summary = nullptr,
          bool* portFailed = nullptr, bool portClosed = false) {
  if (portFailed != nullptr) *portFailed = false;
  bool allDone = true;
  for (size_t i = 0; i < gates.size() && !limits.Stop(); ++i) {
    Gate& gate = gates[i];
    Reading reading;
    reading.cycle = cycle;
    reading.gate = i;
    reading.address = gate.entry.address;
    reading.type = gate.entry.kind->name;
    if (gate.parseResult != 0) {
      reading.kind = Reading::Kind::kRefused;
      reading.result = gate.parseResult;
      allDone = false;
    } else if (GateTypeOf(gate) == 7) {
      reading.kind = Reading::Kind::kText;
      reading.values = {TextOf(gate)};
    } else if (gate.parsed.memoryType == 65) {
      reading.kind = Reading::Kind::kTrigger;
    } else {
      std::vector<uint8_t> values;
      GateTransfer t = TransferFor(gate, values);
      TransferJournal lines;
      journal.Open(&lines);
      const auto started = std::chrono::steady_clock::now();
      reading.result = driver.Call(IsBlock(gate) ? kCmdBlockRead : kCmdSingleRead, &t);
      const double milliseconds = MillisecondsSince(started);
      journal.Close();
      const TransferCause cause = CauseOf(lines, reading.result, portClosed);
      reading.cause = CauseText(cause);
      reading.retries = lines.Retries(reading.result);
      if (summary != nullptr) {
        summary->Record(i, reading.result, milliseconds, reading.cause, reading.retries);
        // A station's own health gate is no transaction with it.
        if (gate.parsed.memoryType != kMemStationHealth) {
          summary->RecordStation(gate.parsed.plc, reading.result, milliseconds, lines);
        }
      }
      reading.block = IsBlock(gate);
      reading.isFloat = GateTypeOf(gate) == 3;
      if (reading.result == 0) {
        reading.values =
            ValueTexts(values.data(), GateTypeOf(gate), gate.parsed.width, IsBlock(gate) ? t.count : 0);
      }
      allDone = allDone && reading.result == 0;
      // A station that does not answer is no failed port: only a request
      // that did not go out, or a transport failure the driver gives no
      // other reason for, says the device may have gone.
      if (reading.result == 2 && portFailed != nullptr &&
          (cause.cause == FailureCause::kSendFailed || cause.cause == FailureCause::kPortFailed)) {
        *portFailed = true;
      }
    }
    reading.time = std::chrono::system_clock::now();
    writer.Write(reading);
  }
  return allDone;
}

int Write(DriverModule& driver, std::vector<Gate>& gates, const std::string& address, const std::string& text,
          JournalTap& journal, std::FILE* info) {
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
  TransferJournal lines;
  journal.Open(&lines);
  const int32_t result = driver.Call(IsBlock(*gate) ? kCmdBlockWrite : kCmdSingleWrite, &t);
  journal.Close();
  const std::string cause = CauseText(CauseOf(lines, result, false));
  std::fprintf(info, "write %s = %s: %d %s%s%s\n", address.c_str(), text.c_str(), result,
               ResultMeaning(result), cause.empty() ? "" : ": ", cause.c_str());
  if (trigger && result == 0)
    std::fprintf(info, "report %s fetched into the report-line gates\n", text.c_str());
  return result == 0 ? kExitOk : kExitFailed;
}

struct StationHealth {
  int32_t station;
  Gate gate;
};

// The health gate of a station: the first of its addresses that the driver's
// parser takes for that very station (in the hexadecimal base "!S10" is
// station 16). Refused while the driver has no such gate; the parser's
// complaints are then vpihost's business, not the user's, and not shown.
Gate StationGate(DriverModule& driver, JournalTap& journal, int32_t station) {
  Gate gate;
  gate.entry.kind = FindGateKind("int16");
  journal.Mute(true);
  for (const std::string& address : StationGateAddresses(station)) {
    gate.entry.address = address;
    ParseGate(driver, gate);
    if (gate.parseResult == 0 && gate.parsed.plc == station) break;
    gate.parseResult = 1;
  }
  journal.Mute(false);
  return gate;
}

// What the health gate reads: it sends nothing on the line.
int32_t ReadStationState(DriverModule& driver, Gate& gate) {
  if (gate.parseResult != 0) return kStationStateUnknown;
  std::vector<uint8_t> values;
  GateTransfer t = TransferFor(gate, values);
  if (driver.Call(kCmdSingleRead, &t) != 0) return kStationStateUnknown;
  return static_cast<int32_t>(
      std::strtol(ValueTexts(values.data(), 2, gate.parsed.width, 0)[0].c_str(), nullptr, 10));
}

void PauseUnlessStopped(int milliseconds, const PollLimits& limits) {
  for (int waited = 0; waited < milliseconds && !limits.Stop(); waited += 20) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(20, milliseconds - waited)));
  }
}

// The poll command: cycles of reads until the count or the time is reached
// or Ctrl-C; the summary after more than one cycle.
int PollCycles(DriverModule& driver, std::vector<Gate>& gates, const HostOptions& options,
               const std::string& port, JournalTap& journal) {
  // The notes name the port as the user gave it, a linked path too.
  const std::string& shown = options.port.empty() ? port : options.port;
  const bool repeated = options.cycles > 1 || options.durationSeconds > 0;
  const int cycles = options.durationSeconds > 0 && !options.cyclesGiven ? 0 : options.cycles;  // 0: no limit
  const bool redraw = repeated && options.format == OutputFormat::kTable && StdoutRedrawsInPlace();
  const auto writer = HexWhereAsked(MakeReadingsWriter(options.format, stdout, redraw, repeated),
                                    options.format, options.hex);
  PollSummary summary(gates.size());
  // The stations' table comes with the summary, so only a summary needs
  // the stations' health gates.
  std::vector<StationHealth> health;
  if (repeated) {
    for (const Gate& gate : gates) {
      const int32_t station = gate.parsed.plc;
      const auto known = [station](const StationHealth& h) { return h.station == station; };
      if (!IsRead(gate) || std::any_of(health.begin(), health.end(), known)) continue;
      health.push_back({station, StationGate(driver, journal, station)});
    }
  }
  const auto started = std::chrono::steady_clock::now();
  PollLimits limits;
  limits.timed = options.durationSeconds > 0;
  limits.deadline = started + std::chrono::seconds(options.durationSeconds);

  int status = kExitOk;
  bool portClosed = false;
  for (int cycle = 0; (cycles == 0 || cycle < cycles) && !limits.Stop(); ++cycle) {
    if (cycle > 0) {
      driver.Call(kCmdWarmStart, nullptr);
      PauseUnlessStopped(options.intervalMs, limits);
      if (limits.Stop()) break;
    }
    writer->BeginCycle(cycle + 1, cycles, MillisecondsSince(started) / 1000);
    bool portFailed = false;
    if (!Poll(driver, gates, cycle + 1, *writer, limits, journal, &summary, &portFailed, portClosed)) {
      status = kExitFailed;
    }
    summary.CycleDone();
    // The device may have gone (an adapter unplugged): close the port and
    // open it again before the next cycle, as a host's port control does,
    // until the device is back.
    // While closed the reads are refused (1) rather than failed in transport.
    const bool another = (cycles == 0 || cycle + 1 < cycles) && !limits.Stop();
    if ((portFailed || portClosed) && !options.noPort && another) {
      if (!portClosed) driver.Call(kCmdCloseCom, nullptr);
      // ReOpenCom would leave the port at the driver's 1 s read timeout;
      // ChangeVpiParams on the same port with the line kept (baud 0) opens
      // it again and applies --timeout.
      ChangeParams reopen{};
      std::memcpy(reopen.portName, port.c_str(), std::min(port.size(), sizeof reopen.portName - 1));
      reopen.replyTimeout = static_cast<int32_t>(options.timeout);
      const int32_t reopened = driver.Call(kCmdChangeVpiParams, &reopen);
      portClosed = reopened != 0;
      if (reopened == 0) {
        writer->Note("port " + shown + " reopened");
      } else {
        const std::string problem = PortOpenProblem(shown);
        writer->Note("port " + shown + " cannot be reopened yet (" + std::to_string(reopened) + " " +
                     ResultMeaning(reopened) + (problem.empty() ? "" : ": " + problem) + ")");
      }
    }
  }
  if (repeated) {
    summary.SetSeconds(MillisecondsSince(started) / 1000);
    for (StationHealth& h : health) summary.SetStationState(h.station, ReadStationState(driver, h.gate));
    if (TerminationRequested()) summary.SetInterrupted();
    std::vector<GateLabel> labels;
    for (const Gate& gate : gates) labels.push_back({gate.entry.address, gate.entry.kind->name});
    writer->Summary(summary, labels);
  }
  return status;
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

// The gates as the driver's parser takes them; an omitted type becomes the
// first kind it takes. Refused gates are given with the parser's lines.
std::vector<Gate> ParseGates(DriverModule& driver, const std::vector<GateEntry>& entries, JournalTap& journal,
                             std::vector<GateRefusal>* refusals) {
  std::vector<Gate> gates;
  for (const GateEntry& entry : entries) {
    Gate gate;
    gate.entry = entry;
    journal.Hold();
    ParseGate(driver, gate);
    std::vector<std::string> refusal = journal.Held();
    for (int i = 1; entry.typeOmitted && gate.parseResult != 0 && i < kOmittedTypeCount; ++i) {
      gate.entry.kind = FindGateKind(kOmittedTypeOrder[i]);
      journal.Hold();
      ParseGate(driver, gate);
    }
    if (gate.parseResult != 0) {
      gate.entry.kind = entry.kind;  // refused as the type it goes by
      refusals->push_back({gate.entry, refusal});
    }
    journal.Release(gate.parseResult == 0);
    gates.push_back(gate);
  }
  return gates;
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
    PrintHostUsage(options, UsageFacts{EmbeddedDevice::BuiltIn(), PortLinksAvailable()});
    return kExitOk;
  }
  // A scan asks every station once: a silent one should cost little.
  if (options.command == "scan" && !options.timeoutGiven) options.timeout = kScanTimeout;
  if (options.version) return PrintVersion(options.module);
  const bool needsLine = options.command != "info" && options.command != "browse";
  if (needsLine && options.port.empty() && !options.noPort && !EmbeddedDevice::BuiltIn()) {
    std::fprintf(stderr,
                 "vpihost: this build has no built-in simulator: give --port COM1 ... (try --help)\n");
    return kExitUsage;
  }
  ZelHostSetMinimumLevel(options.logLevel);
  WatchTerminationRequests();

  DriverModule driver;
  driver.driverNumber = options.driverNumber;
  if (!driver.Load(options.module, &error)) {
    std::fprintf(stderr, "vpihost: %s\n", error.c_str());
    return kExitUsage;
  }
  // The machine-readable formats keep stdout for their records.
  const bool records = options.command != "info" && options.command != "browse";
  std::FILE* const info = records && options.format != OutputFormat::kTable ? stderr : stdout;
  if (info == stderr) StdoutPassesBytes();  // the records' bytes exactly, CRLF and texts
  VpiInfo about{};
  driver.Info(&about);
  std::fprintf(info, "driver       %s: %s", about.name, about.description);
  if (options.command == "info") {
    std::printf("module       %s\n", options.module.c_str());
    std::printf("instance     %u bytes\n", about.instanceSize);
    std::printf("defaults     %u baud, %d data bits, stop code %d, parity code %d\n", about.defaultBaud,
                about.defaultDataBits, about.defaultStopBits, about.defaultParity);
    return kExitOk;
  }
  if (options.command == "browse") return Browse(driver);

  std::vector<GateEntry> entries;
  const bool scan = options.command == "scan";
  const bool loaded = scan ? true
                      : options.gateArguments.empty()
                          ? LoadGatesFile(options.gatesFile, &entries, &error)
                          : ParseGateArguments(options.gateArguments, &entries, &error);
  if (!loaded) {
    std::fprintf(stderr, "vpihost: %s\n", error.c_str());
    return kExitUsage;
  }

  EmbeddedDevice device;
  PortLink link;  // removed on every way out of main, Ctrl-C included
  std::string port = options.port;
  if (port.empty() && !options.noPort) {
    std::string description;
    if (!device.Start(LineSettingsText(options), &port, &description, &error)) {
      std::fprintf(stderr, "vpihost: %s\n", error.c_str());
      return kExitUsage;
    }
    std::fprintf(info, "device       %s\n", description.c_str());
  } else if (!options.noPort && port.size() > kPortNameLimit) {
    if (!link.Make(port, &error)) {
      std::fprintf(stderr, "vpihost: %s\n", error.c_str());
      return kExitUsage;
    }
    port = kLinkedPortName;
    std::fprintf(info, "port         %s -> %s (linked in VPI_COM_DIR=%s), %s\n", port.c_str(),
                 options.port.c_str(), link.folder().c_str(), LineSettingsText(options).c_str());
  } else if (options.noPort) {
    std::fprintf(info, "port         (none)\n");
  } else {
    std::fprintf(info, "port         %s, %s\n", port.c_str(), LineSettingsText(options).c_str());
  }

  // The driver's lines go to stderr: what vpihost said so far comes first
  // also where stdout is a pipe.
  std::fflush(info);

  ColdStartParams start{};
  // At most 11 characters by now; the field keeps its terminating NUL.
  std::memcpy(start.portName, port.c_str(), std::min(port.size(), sizeof start.portName - 1));
  start.portInUse = options.noPort ? 0 : 1;
  start.replyTimeout = options.timeout;
  start.baud = options.baud;
  start.dataBits = options.dataBits;
  start.stopBits = options.stopBits;
  start.parity = options.parity;
  // From here every line of the driver's journal passes vpihost, which
  // shows it as the host library does and takes each transfer's from it.
  // The start-up lines give a scan's bound the init file's inter-frame gap.
  JournalTap journal(options.logLevel);
  journal.Hold();
  const int32_t started = driver.Call(kCmdColdStart, &start);
  const uint32_t gapMs = InterFrameGapMs(journal.Held());
  journal.Release(true);
  if (started != 0) {
    std::string why;
    if (started == 2) {
      const std::string problem = PortOpenProblem(options.port.empty() ? port : options.port);
      why = ": the port cannot be opened" + (problem.empty() ? std::string() : ": " + problem);
    }
    std::fprintf(stderr, "vpihost: ColdStart failed (%d %s)%s\n", started, ResultMeaning(started),
                 why.c_str());
    driver.Call(kCmdEndVpi, nullptr);
    return kExitUsage;
  }

  if (scan) {
    const int scanned = RunScan(driver, options, gapMs, journal, stdout);
    driver.Call(kCmdEndVpi, nullptr);
    if (TerminationRequested()) {
      std::fprintf(info, "vpihost: interrupted; the driver was ended\n");
      return kExitFailed;
    }
    return scanned;
  }

  // Nothing is sent while a gate is refused: a poll of the rest would hide it.
  std::vector<GateRefusal> refusals;
  std::vector<Gate> gates = ParseGates(driver, entries, journal, &refusals);
  if (!refusals.empty()) {
    PrintRefusals(stderr, refusals, gates.size());
    driver.Call(kCmdEndVpi, nullptr);
    return kExitFailed;
  }
  for (const Gate& gate : gates) {
    if (GateTypeOf(gate) == 7) ZelHostAddGate(gate.entry.address.c_str());
  }

  int status = kExitOk;
  if (options.command == "poll") {
    status = PollCycles(driver, gates, options, port, journal);
  } else {
    const std::string address = options.arguments[0];
    status = Write(driver, gates, address, options.arguments[1], journal, info);
    // Read everything back, so the written value shows in the table.
    if (status != kExitUsage) {
      const auto writer = HexWhereAsked(MakeReadingsWriter(options.format, stdout, false, false),
                                        options.format, options.hex);
      writer->BeginCycle(1, 1, 0);
      if (!Poll(driver, gates, 1, *writer, PollLimits{}, journal)) status = kExitFailed;
    }
  }
  driver.Call(kCmdEndVpi, nullptr);
  if (TerminationRequested()) {
    std::fprintf(info, "vpihost: interrupted; the driver was ended\n");
    return kExitFailed;
  }
  return status;
}
