// kovrin_bench: the driver against libmodbus on one line and one slave.
//
//   kovrin_bench measure [--out FILE] [--rtusim PATH|none] [--slave PATH]
//                        [--lines pty,19200,9600] [--pty-seconds S]
//                        [--line-seconds S] [--rounds N] [--no-growth]
//                        [--no-second-slave]
//   kovrin_bench cost --master driver|libmodbus --scenario ID --count N
//   kovrin_bench lines [--out FILE] [--counts 1,2,4,8,16] [--baud B] [--seconds S]
//   kovrin_bench multidrop [--out FILE] [--answering-seconds S] [--silent-cycles N]
//                          [--demoted-seconds S] [--recoveries S:UNTIL,...]
//   kovrin_bench echo [--out FILE] [--seconds S]
//   kovrin_bench report FILE...
//   kovrin_bench check FILE...
//   kovrin_bench scenarios [--all]
//
// measure and cost find the line as $VPI_COM_DIR/com1; measure starts the
// slaves itself, cost expects one there (bench/run.sh starts it, so that
// callgrind and strace see the master alone). lines starts a simulator per
// line (com1, com2, ...) itself, multidrop and echo one on com1. check
// prints a PASS or FAIL line for each target of the multi-drop and the
// echoing line and fails when one failed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "bench/allocation_counter.h"
#include "bench/driver_master.h"
#include "bench/libmodbus_master.h"
#include "bench/line_fault_report.h"
#include "bench/line_faults.h"
#include "bench/lines.h"
#include "bench/measure.h"
#include "bench/results.h"
#include "bench/scenarios.h"

#ifndef KOVRIN_BENCH_SLAVE
#define KOVRIN_BENCH_SLAVE "kovrin_bench_slave"
#endif
#ifndef KOVRIN_RTUSIM
#define KOVRIN_RTUSIM ""
#endif

namespace {

constexpr int kCostWarmUp = 3;
constexpr int kCostBaud = 9600;

int Usage() {
  std::fprintf(stderr,
               "usage: kovrin_bench measure [--out FILE] [--rtusim PATH|none] [--slave PATH]\n"
               "                            [--lines pty,19200,9600] [--pty-seconds S] [--line-seconds S]\n"
               "                            [--rounds N] [--no-growth] [--no-second-slave]\n"
               "       kovrin_bench cost --master driver|libmodbus --scenario ID --count N\n"
               "       kovrin_bench lines [--out FILE] [--counts 1,2,4,8,16] [--baud B] [--seconds S]\n"
               "       kovrin_bench multidrop [--out FILE] [--answering-seconds S] [--silent-cycles N]\n"
               "                              [--demoted-seconds S] [--recoveries S:UNTIL,...]\n"
               "       kovrin_bench echo [--out FILE] [--seconds S]\n"
               "       kovrin_bench report FILE...\n"
               "       kovrin_bench check FILE...\n"
               "       kovrin_bench scenarios [--all]\n"
               "measure, cost, multidrop and echo use the line $VPI_COM_DIR/com1.\n");
  return 2;
}

const char* ComDir() {
  const char* dir = std::getenv("VPI_COM_DIR");
  if (dir == nullptr || *dir == '\0') {
    std::fprintf(stderr, "kovrin_bench: set VPI_COM_DIR to a directory for the line's link\n");
    return nullptr;
  }
  return dir;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, ',')) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

int Measure(int argc, char** argv) {
  const char* dir = ComDir();
  if (dir == nullptr) return 2;
  MeasureOptions options;
  options.comDir = dir;
  options.rtusim = KOVRIN_RTUSIM;
  options.slaveProgram = KOVRIN_BENCH_SLAVE;
  options.out = "bench-results.tsv";
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    const bool hasValue = i + 1 < argc;
    if (name == "--no-growth") {
      options.growth = false;
    } else if (name == "--no-second-slave") {
      options.secondSlave = false;
    } else if (!hasValue) {
      return Usage();
    } else if (name == "--out") {
      options.out = argv[++i];
    } else if (name == "--rtusim") {
      options.rtusim = argv[++i];
      if (options.rtusim == "none") options.rtusim.clear();
    } else if (name == "--slave") {
      options.slaveProgram = argv[++i];
    } else if (name == "--lines") {
      options.lines = SplitCommas(argv[++i]);
    } else if (name == "--pty-seconds") {
      options.ptySeconds = std::atof(argv[++i]);
    } else if (name == "--line-seconds") {
      options.lineSeconds = std::atof(argv[++i]);
    } else if (name == "--rounds") {
      options.ptyRounds = options.lineRounds = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  return RunMeasurements(options);
}

int Lines(int argc, char** argv) {
  const char* dir = ComDir();
  if (dir == nullptr) return 2;
  LinesOptions options;
  options.comDir = dir;
  options.rtusim = KOVRIN_RTUSIM;
  options.out = "bench-results.tsv";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--out") {
      options.out = value;
    } else if (name == "--counts") {
      options.counts.clear();
      for (const std::string& part : SplitCommas(value)) {
        const int k = std::atoi(part.c_str());
        if (k < 1 || k > 64) return Usage();
        options.counts.push_back(k);
      }
    } else if (name == "--baud") {
      options.baud = std::atoi(value);
    } else if (name == "--seconds") {
      options.seconds = std::atof(value);
    } else {
      return Usage();
    }
  }
  if ((argc - 2) % 2 != 0 || options.baud <= 0 || options.seconds <= 0 || options.counts.empty())
    return Usage();
  return RunLines(options);
}

// The line of the multi-drop and the echoing line, and their options of
// NAME VALUE pairs: --out here, the others given to take. False without
// VPI_COM_DIR or on an option refused.
bool TakeLineOptions(int argc, char** argv, SimulatedLine* line,
                     const std::function<bool(const std::string&, const char*)>& take) {
  const char* dir = ComDir();
  if (dir == nullptr || (argc - 2) % 2 != 0) return false;
  line->comDir = dir;
  line->rtusim = KOVRIN_RTUSIM;
  line->out = "bench-results.tsv";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--out") {
      line->out = argv[i + 1];
    } else if (!take(name, argv[i + 1])) {
      return false;
    }
  }
  return true;
}

int Multidrop(int argc, char** argv) {
  MultidropOptions options;
  const bool taken =
      TakeLineOptions(argc, argv, &options.line, [&](const std::string& name, const char* value) {
        if (name == "--answering-seconds") {
          options.answeringSeconds = std::atof(value);
        } else if (name == "--silent-cycles") {
          options.silentCycles = std::atoi(value);
        } else if (name == "--demoted-seconds") {
          options.demotedSeconds = std::atof(value);
        } else if (name == "--recoveries") {
          options.recoveries.clear();
          for (const std::string& part : SplitCommas(value)) {
            const size_t colon = part.find(':');
            const int periodS = std::atoi(part.c_str());
            const double until = colon == std::string::npos ? 0 : std::atof(part.c_str() + colon + 1);
            if (periodS < 1 || periodS > 3600 || until <= 0) return false;
            options.recoveries.push_back({periodS, until});
          }
        } else {
          return false;
        }
        return true;
      });
  if (!taken || options.answeringSeconds <= 0 || options.silentCycles < 1 || options.demotedSeconds <= 0)
    return Usage();
  return RunMultidrop(options);
}

int Echo(int argc, char** argv) {
  EchoOptions options;
  const bool taken =
      TakeLineOptions(argc, argv, &options.line, [&](const std::string& name, const char* value) {
        if (name != "--seconds") return false;
        options.seconds = std::atof(value);
        return true;
      });
  if (!taken || options.seconds <= 0) return Usage();
  return RunEcho(options);
}

// N transactions of one master and nothing else, for callgrind and strace:
// two run lengths subtracted give the cost of one transaction.
int Cost(int argc, char** argv) {
  const char* dir = ComDir();
  if (dir == nullptr) return 2;
  std::string masterName;
  std::string scenarioId;
  long count = -1;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--master") {
      masterName = argv[i + 1];
    } else if (name == "--scenario") {
      scenarioId = argv[i + 1];
    } else if (name == "--count") {
      count = std::atol(argv[i + 1]);
    } else {
      return Usage();
    }
  }
  const Scenario* scenario = FindScenario(scenarioId.c_str());
  if (scenario == nullptr || count < 0 || (masterName != "driver" && masterName != "libmodbus"))
    return Usage();

  std::string error;
  DriverMaster driver;
  LibmodbusMaster libmodbus;
  Master* master = nullptr;
  if (masterName == "driver") {
    if (driver.Open(kCostBaud, &error)) master = &driver;
  } else {
    if (libmodbus.Open(std::string(dir) + "/com1", kCostBaud, &error)) master = &libmodbus;
  }
  if (master == nullptr || !master->Prepare(*scenario, &error)) {
    std::fprintf(stderr, "kovrin_bench: %s\n", error.c_str());
    return 1;
  }
  for (int i = 0; i < kCostWarmUp; ++i) master->Transact();
  long failures = 0;
  const uint64_t allocationsBefore = AllocationCount();
  for (long i = 0; i < count; ++i) {
    if (!master->Transact()) ++failures;
  }
  const uint64_t allocations = AllocationCount() - allocationsBefore;
  std::printf("transactions=%ld failures=%ld allocations=%llu\n", count, failures,
              static_cast<unsigned long long>(allocations));
  return failures == 0 ? 0 : 1;
}

bool ReadAll(int argc, char** argv, Results* results) {
  for (int i = 2; i < argc; ++i) {
    std::string error;
    if (!ReadResults(argv[i], results, &error)) {
      std::fprintf(stderr, "kovrin_bench: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

int Report(int argc, char** argv) {
  Results results;
  if (!ReadAll(argc, argv, &results)) return 1;
  PrintTable(results, stdout);
  return 0;
}

int Check(int argc, char** argv) {
  Results results;
  if (!ReadAll(argc, argv, &results)) return 1;
  return CheckLineFaultTargets(results, stdout) ? 0 : 1;
}

// The main table's scenarios, with --all also those of the growth series:
// one a line, with "shared" or "driver" (only the driver can do it).
int ListScenarios(bool all) {
  std::vector<const char*> ids(kMainScenarios, kMainScenarios + kMainScenarioCount);
  if (all) ids.insert(ids.end(), kGrowthScenarios, kGrowthScenarios + kGrowthScenarioCount);
  for (const char* id : ids) {
    const Scenario* s = FindScenario(id);
    std::printf("%s %s\n", s->id, s->shared ? "shared" : "driver");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "measure") return Measure(argc, argv);
  if (command == "cost") return Cost(argc, argv);
  if (command == "lines") return Lines(argc, argv);
  if (command == "multidrop") return Multidrop(argc, argv);
  if (command == "echo") return Echo(argc, argv);
  if (command == "report") return Report(argc, argv);
  if (command == "check") return Check(argc, argv);
  if (command == "scenarios") return ListScenarios(argc > 2 && std::strcmp(argv[2], "--all") == 0);
  return Usage();
}
