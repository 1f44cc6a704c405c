#include "bench/line_faults.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <vector>

#include "bench/cycle_stats.h"
#include "bench/driver_master.h"
#include "bench/results.h"
#include "bench/rounds.h"
#include "bench/scenarios.h"
#include "programs/far_end.h"
#include "programs/process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLinkWaitMs = 5000;
constexpr double kReplyTimeoutS = 1.0;   // DriverMaster's ColdStart
constexpr int kRecoveryCyclesAfter = 2;  // good cycles of the station before the recovery ends

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string LinkPath(const std::string& comDir) { return comDir + "/com1"; }

// The simulator on the line with the wire's timing; zero is taken just
// before it starts, so that times measured from it are never early against
// the simulator's own clock.
long StartSimulator(const SimulatedLine& line, const std::vector<std::string>& extra,
                    Clock::time_point* zero) {
  const std::string link = LinkPath(line.comDir);
  RemoveFile(link.c_str());
  std::vector<std::string> args = {line.rtusim,       "--link", link, "--baud", std::to_string(line.baud),
                                   "--emulate-timing"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  *zero = Clock::now();
  const long pid = StartProcessServing(argv.data(), link.c_str(), kLinkWaitMs);
  if (pid <= 0) {
    std::string command;
    for (const std::string& arg : args) command += " " + arg;
    std::fprintf(stderr, "bench: cannot start the simulator:%s\n", command.c_str());
  }
  return pid;
}

void StopSimulator(const SimulatedLine& line, long pid) {
  StopProcess(pid);
  RemoveFile(LinkPath(line.comDir).c_str());
}

// The results file to append to; null, with the reason on stderr, when the
// simulator is missing or the file cannot be written.
std::FILE* OpenResults(const SimulatedLine& line, const char* what) {
  if (line.rtusim.empty()) {
    std::fprintf(stderr, "bench: %s needs the simulator (rtusim)\n", what);
    return nullptr;
  }
  std::FILE* out = std::fopen(line.out.c_str(), "a");
  if (out == nullptr) std::fprintf(stderr, "bench: cannot write %s\n", line.out.c_str());
  return out;
}

// ColdStart reads the init file in the current directory: the line's
// directory holds it, and is the current one, for the start only.
bool OpenWithInitFile(DriverMaster& master, const SimulatedLine& line, const std::string& initFile,
                      std::string* error) {
  const std::filesystem::path file = std::filesystem::path(line.comDir) / "KOVRIN.INT";
  {
    std::ofstream stream(file, std::ios::binary);
    stream << initFile;
    if (!stream) {
      *error = "cannot write " + file.string();
      return false;
    }
  }
  std::error_code ignored;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(line.comDir);
  const bool opened = master.Open(line.baud, error);
  std::filesystem::current_path(previous, ignored);
  std::filesystem::remove(file, ignored);
  return opened;
}

struct Gate {
  char gas[32];
  ParseRequest parsed;
  int station;
};

// Holding registers 1 to gatesPerStation of every station, in station
// order, as a host's gate list polls them.
bool ParseGates(HostSession& host, const MultidropOptions& options, std::vector<Gate>* gates,
                std::string* error) {
  // Sized before the parse: each parse result keeps its gas.
  gates->assign(static_cast<size_t>(options.stations * options.gatesPerStation), Gate{});
  size_t i = 0;
  for (int station = 1; station <= options.stations; ++station) {
    for (int reg = 1; reg <= options.gatesPerStation; ++reg, ++i) {
      Gate& gate = (*gates)[i];
      gate.station = station;
      std::snprintf(gate.gas, sizeof gate.gas, "%02d4%04d", station, reg);
      if (host.Parse(gate.gas, kGateInt16, &gate.parsed) != kResultDone) {
        *error = std::string("the driver refused the gate ") + gate.gas;
        return false;
      }
    }
  }
  return true;
}

struct CycleTimes {
  std::vector<double> cycleSeconds;
  std::vector<StationRead> silentReads;  // of the station that falls silent
  uint64_t reads = 0;
  uint64_t failedReads = 0;
};

// What a case's cycles stop on, asked after each cycle with the seconds
// since the simulator started.
using StopRule = std::function<bool(const CycleTimes&, double)>;

void RunCycles(HostSession& host, std::vector<Gate>& gates, int silentStation, Clock::time_point zero,
               const StopRule& stop, CycleTimes* times) {
  alignas(8) uint8_t values[8] = {};
  do {
    const Clock::time_point cycleStart = Clock::now();
    for (Gate& gate : gates) {
      GateTransfer transfer = HostSession::TransferFor(gate.parsed, 1, values);
      const Clock::time_point before = Clock::now();
      const bool ok = host.Call(kCmdSingleRead, &transfer) == kResultDone;
      const Clock::time_point after = Clock::now();
      ++times->reads;
      if (!ok) ++times->failedReads;
      if (gate.station == silentStation)
        times->silentReads.push_back({Seconds(before - zero), Seconds(after - before), ok});
    }
    times->cycleSeconds.push_back(Seconds(Clock::now() - cycleStart));
  } while (!stop(*times, Seconds(Clock::now() - zero)));
}

struct Situation {
  const char* name;
  bool silent;
  double silentUntilS;  // with silent; infinity: for ever
  int demoteAfter;      // DEMOTE's N, 0 without
  int demotePeriodS;
  StopRule stop;
};

std::string DemoteField(const Situation& s) {
  return s.demoteAfter ? std::to_string(s.demoteAfter) + "," + std::to_string(s.demotePeriodS) : "-";
}

bool RunSituation(const MultidropOptions& options, const Situation& s, CycleTimes* times) {
  std::vector<std::string> extra = {"--stations", "1-" + std::to_string(options.stations)};
  if (s.silent) {
    extra.push_back("--silent");
    extra.push_back(std::to_string(options.silentStation) +
                    ":0:" + (std::isinf(s.silentUntilS) ? std::string() : std::to_string(s.silentUntilS)));
  }
  Clock::time_point zero;
  const long pid = StartSimulator(options.line, extra, &zero);
  if (pid <= 0) return false;
  bool ok = true;
  {
    DriverMaster master;
    std::vector<Gate> gates;
    std::string error;
    const std::string initFile = s.demoteAfter ? "DEMOTE = " + std::to_string(s.demoteAfter) + " , " +
                                                     std::to_string(s.demotePeriodS) + "\n"
                                               : "";
    if (!OpenWithInitFile(master, options.line, initFile, &error) ||
        !ParseGates(master.host(), options, &gates, &error)) {
      std::fprintf(stderr, "bench: multidrop %s: %s\n", s.name, error.c_str());
      ok = false;
    } else {
      RunCycles(master.host(), gates, s.silent ? options.silentStation : 0, zero, s.stop, times);
    }
  }
  StopSimulator(options.line, pid);
  return ok;
}

CycleRecord CycleRecordOf(const MultidropOptions& options, const Situation& s, const CycleTimes& times) {
  CycleRecord r;
  r.situation = s.name;
  r.stations = options.stations;
  r.gatesPerStation = options.gatesPerStation;
  r.baud = options.line.baud;
  r.silentStation = s.silent ? options.silentStation : 0;
  r.demote = DemoteField(s);
  r.reads = times.reads;
  r.failedReads = times.failedReads;
  r.summary = SummariseCycles(times.cycleSeconds);
  return r;
}

// The station silent until c.silentUntilS under DEMOTE = N , c.periodS:
// back in the cycle, then two more cycles of it; bounded by the longest
// period a probe can wait.
bool RunRecovery(const MultidropOptions& options, const RecoveryCase& c, std::FILE* out) {
  const double answersAt = c.silentUntilS;
  const double limit = answersAt + 8.0 * c.periodS + 10;
  const size_t goodReads = static_cast<size_t>(kRecoveryCyclesAfter * options.gatesPerStation);
  const Situation recovering = {"recovery",
                                true,
                                answersAt,
                                options.demoteAfter,
                                c.periodS,
                                [answersAt, limit, goodReads](const CycleTimes& t, double elapsed) {
                                  if (elapsed >= limit) return true;
                                  // The station's latest reads, newest first: the good ones since
                                  // it answers again.
                                  size_t good = 0;
                                  for (auto it = t.silentReads.rbegin();
                                       it != t.silentReads.rend() && it->ok && it->startS >= answersAt; ++it)
                                    ++good;
                                  return good >= goodReads;
                                }};
  CycleTimes times;
  if (!RunSituation(options, recovering, &times)) return false;
  RecoveryRecord r;
  r.stations = options.stations;
  r.baud = options.line.baud;
  r.silentStation = options.silentStation;
  r.demote = DemoteField(recovering);
  r.answersAtS = answersAt;
  r.figures = FindRecovery(times.silentReads, answersAt, kReplyTimeoutS, options.demoteAfter, c.periodS);
  r.steadyCycleS = SummariseCycles(times.cycleSeconds).medianAfterFirstS;
  WriteRecoveryRecord(out, r);
  std::fprintf(
      stderr,
      "  multidrop recovery, DEMOTE = %d , %d: demoted at %.1f s, %d silent probes, answers at %.1f s, "
      "back %.1f s later (period then %.0f s)\n",
      options.demoteAfter, c.periodS, r.figures.demotedAtS, r.figures.silentProbes, answersAt,
      r.figures.backAfterS, r.figures.periodInEffectS);
  return true;
}

}  // namespace

int RunMultidrop(const MultidropOptions& options) {
  std::FILE* out = OpenResults(options.line, "the multi-drop line");
  if (out == nullptr) return 1;
  const double forever = std::numeric_limits<double>::infinity();
  const auto forSeconds = [](double seconds) {
    return [seconds](const CycleTimes&, double elapsed) { return elapsed >= seconds; };
  };
  const int cycles = options.silentCycles;
  const std::vector<Situation> situations = {
      {"answering", false, 0, 0, 0, forSeconds(options.answeringSeconds)},
      {"silent", true, forever, 0, 0,
       [cycles](const CycleTimes& t, double) { return static_cast<int>(t.cycleSeconds.size()) >= cycles; }},
      {"demoted", true, forever, options.demoteAfter, options.demotePeriodS,
       forSeconds(options.demotedSeconds)},
  };
  int failed = 0;
  for (const Situation& s : situations) {
    CycleTimes times;
    if (!RunSituation(options, s, &times)) {
      ++failed;
      continue;
    }
    const CycleRecord r = CycleRecordOf(options, s, times);
    WriteCycleRecord(out, r);
    std::fprintf(stderr, "  multidrop %-9s %d cycles, first %.3f s, then median %.3f s (%.3f to %.3f s)\n",
                 s.name, r.summary.cycles, r.summary.firstS, r.summary.medianAfterFirstS,
                 r.summary.minAfterFirstS, r.summary.maxAfterFirstS);
  }

  for (const RecoveryCase& c : options.recoveries) {
    if (!RunRecovery(options, c, out)) ++failed;
  }
  std::fclose(out);
  return failed == 0 ? 0 : 1;
}

int RunEcho(const EchoOptions& options) {
  std::FILE* out = OpenResults(options.line, "the echoing line");
  if (out == nullptr) return 1;
  struct Case {
    const char* lineEcho;
    const char* setting;
  };
  const Case cases[] = {{"none", "NO"}, {"full", "YES"}, {"full", "AUTO"}};
  int failed = 0;
  for (const Case& c : cases) {
    std::vector<std::string> extra = {"--stations", "1"};
    if (std::string(c.lineEcho) != "none") extra.insert(extra.end(), {"--echo", c.lineEcho});
    Clock::time_point zero;
    const long pid = StartSimulator(options.line, extra, &zero);
    if (pid <= 0) {
      ++failed;
      continue;
    }
    Figures f;
    {
      DriverMaster master;
      std::string error;
      // No warm-up: AUTO's first reply, the one it learns from, counts too.
      if (!OpenWithInitFile(master, options.line, std::string("ECHO = ") + c.setting + "\n", &error) ||
          !master.Prepare(*FindScenario("read1"), &error)) {
        std::fprintf(stderr, "bench: echo %s: %s\n", c.setting, error.c_str());
        ++failed;
      } else {
        RunSlice(master, options.seconds, &f);
      }
    }
    StopSimulator(options.line, pid);
    if (f.transactions == 0) continue;
    const EchoRecord r{c.lineEcho, c.setting, options.line.baud, f.transactions,
                       f.failures, f.seconds, f.MeanUs(),        f.PercentileUs(99)};
    WriteEchoRecord(out, r);
    std::fprintf(stderr, "  echo %-4s ECHO = %-4s %7.1f tx/s, mean %.2f ms, %llu failed\n", c.lineEcho,
                 c.setting, f.PerSecond(), r.meanUs / 1000, static_cast<unsigned long long>(r.failures));
  }
  std::fclose(out);
  return failed == 0 ? 0 : 1;
}
