#include "host/vpihost/scan.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "programs/termination.h"

namespace {

// Bits of one character on the line: start, data, parity, stop.
double CharacterBits(const HostOptions& line) {
  const double stop = line.stopBits == 0 ? 1 : line.stopBits == 1 ? 1.5 : 2;
  return 1 + line.dataBits + (line.parity != 0 ? 1 : 0) + stop;
}

constexpr int kRequestBytes = 8;
constexpr double kGapCharacters = 3.5;
constexpr double kRoomMsPerAttempt = 20;  // a timer tick of Windows too

struct Probe {
  int station = 0;
  std::string address;
  ParseRequest parsed{};
  bool addressed = false;
};

// The first address whose parse gives holding register 0 of this very
// station; the parser's complaints about the others are vpihost's business.
Probe ProbeFor(DriverModule& driver, int station) {
  Probe probe;
  probe.station = station;
  for (const std::string& address : ScanAddresses(station)) {
    ParseRequest parsed{};
    parsed.gas = address.c_str();
    parsed.gateType = 2;
    if (driver.Call(kCmdSingleAddressParser, &parsed) != 0) continue;
    if (parsed.plc != station || parsed.memoryType != kMemHoldingRegisters || parsed.address != 0) continue;
    probe.address = address;
    probe.parsed = parsed;
    probe.parsed.gas = nullptr;
    probe.addressed = true;
    break;
  }
  return probe;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

constexpr char kNoAddress[] =
    "no address the driver takes in this number base (two decimal digits reach 99; in base H, BUS = M , H in "
    "the init file, two hexadecimal ones reach 255)";

// "5", "100-247"
std::string Stations(int first, int last) {
  return first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

double SilentStationMs(uint32_t timeoutUnits, const HostOptions& line, uint32_t gapMs) {
  const double characterMs = 1000.0 * CharacterBits(line) / line.baud;
  const double attemptMs = gapMs + (kRequestBytes + kGapCharacters) * characterMs + kRoomMsPerAttempt;
  return kSilentReadWaits * 10.0 * timeoutUnits + kSilentReadAttempts * attemptMs;
}

uint32_t InterFrameGapMs(const std::vector<std::string>& startLines) {
  static const char kGapLine[] = "KOVRIN> Inter Frame Gap = ";
  for (const std::string& line : startLines) {
    if (line.compare(0, sizeof kGapLine - 1, kGapLine) != 0) continue;
    unsigned gap = 0;
    char unit[8] = {};
    if (std::sscanf(line.c_str() + sizeof kGapLine - 1, "%u %7s", &gap, unit) == 2 &&
        std::strcmp(unit, "msec.") == 0) {
      return gap;
    }
  }
  return 0;
}

std::vector<std::string> ScanAddresses(int station) {
  std::vector<std::string> addresses;
  char text[16];
  const auto add = [&addresses](const char* address) {
    for (const std::string& known : addresses) {
      if (known == address) return;
    }
    addresses.push_back(address);
  };
  for (const char* registerDigits : {"0001", "0000"}) {
    if (station <= 99) {
      std::snprintf(text, sizeof text, "%02d4%s", station, registerDigits);
      add(text);
      std::snprintf(text, sizeof text, "%02d40%s", station, registerDigits);
      add(text);
    }
    if (station <= 0xFF) {
      std::snprintf(text, sizeof text, "%02X4%s", static_cast<unsigned>(station), registerDigits);
      add(text);
    }
  }
  return addresses;
}

ScanOutcome ScanOutcomeOf(int32_t result, uint16_t value, const TransferJournal& journal) {
  ScanOutcome outcome;
  outcome.cause = CauseOf(journal, result, false);
  if (result == 0) {
    outcome.answered = true;
    outcome.value = value;
    return outcome;
  }
  if (journal.Count(JournalEvent::kException) == 0) return outcome;
  outcome.answered = true;
  if (outcome.cause.cause != FailureCause::kException) {
    // Silence after an exception: the exception says the station is there.
    outcome.cause = {FailureCause::kException, kOtherExceptionCode};
    for (int code = 1; code <= kLastNamedExceptionCode; ++code) {
      if (journal.Exceptions(code) > 0) {
        outcome.cause.exceptionCode = code;
        break;
      }
    }
  }
  return outcome;
}

std::string ScanOutcomeText(const ScanOutcome& outcome) {
  if (outcome.cause.cause == FailureCause::kNone) {
    char text[64];
    std::snprintf(text, sizeof text, "answers: holding register 0 = %u (0x%04X)", outcome.value,
                  outcome.value);
    return text;
  }
  return (outcome.answered ? "answers with " : "") + CauseText(outcome.cause);
}

int RunScan(DriverModule& driver, const HostOptions& options, uint32_t gapMs, JournalTap& journal,
            std::FILE* out) {
  std::vector<Probe> probes;
  journal.Mute(true);
  for (int station = options.scanFirst; station <= options.scanLast; ++station) {
    probes.push_back(ProbeFor(driver, station));
  }
  journal.Mute(false);

  // Stations the instance cannot address (above 99 in a decimal base) are
  // said once a run of them, not asked, and not counted.
  int asked = 0;
  for (const Probe& probe : probes) asked += probe.addressed ? 1 : 0;
  const double stationMs = SilentStationMs(options.timeout, options, gapMs);
  const double boundSeconds = asked * stationMs / 1000;
  std::fprintf(
      out,
      "scan: %d station%s, holding register 0 of each; a silent one takes the driver's %d attempts of "
      "%u ms and a wait of %u ms for a late reply%s: at most %.1f s\n",
      asked, asked == 1 ? "" : "s", kSilentReadAttempts, options.timeout * 10, options.timeout * 10,
      gapMs != 0 ? (", each request after the init file's gap of " + std::to_string(gapMs) + " ms").c_str()
                 : "",
      std::ceil(boundSeconds * 10) / 10);
  std::fprintf(out, "station  address   reply\n");
  std::fflush(out);

  const auto started = std::chrono::steady_clock::now();
  int answered = 0;
  int done = 0;
  bool stopped = false;
  for (size_t i = 0; i < probes.size(); ++i) {
    const Probe& probe = probes[i];
    // Replies from the wrong station take the driver more attempts than
    // silence does: the scan keeps to the time it said all the same.
    if (!probe.addressed) {
      size_t last = i;
      while (last + 1 < probes.size() && !probes[last + 1].addressed) ++last;
      std::fprintf(out, "%7s  %-9s %s\n", Stations(probe.station, probes[last].station).c_str(), "-",
                   kNoAddress);
      i = last;
      continue;
    }
    const double elapsed = SecondsSince(started);
    if (TerminationRequested() || elapsed + stationMs / 1000 > boundSeconds + 1e-3 ||
        (options.durationSeconds > 0 && elapsed >= options.durationSeconds)) {
      stopped = true;
      break;
    }
    uint8_t values[16] = {};
    GateTransfer t{};
    t.gas = probe.address.c_str();
    t.plc = probe.parsed.plc;
    t.memoryType = probe.parsed.memoryType;
    t.address = probe.parsed.address;
    t.bit = probe.parsed.bit;
    t.width = probe.parsed.width;
    t.gateType = 2;
    t.count = 1;
    t.values = values;
    TransferJournal lines;
    journal.Open(&lines);
    const int32_t result = driver.Call(kCmdSingleRead, &t);
    journal.Close();
    const ScanOutcome outcome =
        ScanOutcomeOf(result, static_cast<uint16_t>(values[2] | values[3] << 8), lines);
    ++done;
    if (outcome.answered) ++answered;
    std::fprintf(out, "%7d  %-9s %s\n", probe.station, probe.address.c_str(),
                 ScanOutcomeText(outcome).c_str());
    std::fflush(out);
  }
  if (stopped) {
    std::fprintf(out, "scan stopped after %.1f s (%s): %d of %d stations not asked\n", SecondsSince(started),
                 TerminationRequested() ? "interrupted" : "time is up", asked - done, asked);
  }
  std::fprintf(out, "%d of %d stations answered\n", answered, done);
  return answered > 0 ? 0 : 1;
}
