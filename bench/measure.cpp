#include "bench/measure.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/driver_master.h"
#include "bench/libmodbus_master.h"
#include "bench/report_texts.h"
#include "bench/results.h"
#include "bench/rounds.h"
#include "bench/scenarios.h"
#include "programs/far_end.h"
#include "programs/process.h"

namespace {

constexpr int kLinkWaitMs = 5000;
constexpr double kLongTransactionUs = 200000;  // no warm-up for longer ones
constexpr int kWarmUp = 3;
constexpr int kPtyBaud = 9600;  // what the masters set; a pseudo-terminal ignores it

struct Plan {
  std::string slave;  // "rtusim" or "libmodbus"
  std::string line;   // "pty" or a baud rate
  std::vector<std::string> scenarios;
};

std::string LinkPath(const MeasureOptions& options) { return options.comDir + "/com1"; }

bool WriteReportFiles(const MeasureOptions& options) {
  for (int number = 1; number <= kReportCount; ++number) {
    std::ofstream file(options.comDir + "/report" + std::to_string(number) + ".txt", std::ios::binary);
    file << ReportText(number);
    if (!file) return false;
  }
  return true;
}

long StartSlave(const MeasureOptions& options, const Plan& plan, int baud) {
  const std::string link = LinkPath(options);
  RemoveFile(link.c_str());
  std::vector<std::string> args;
  if (plan.slave == "rtusim") {
    args = {options.rtusim, "--link", link, "--stations", "1"};
    for (int number = 1; number <= kReportCount; ++number) {
      args.push_back("--report");
      args.push_back(std::to_string(number) + "=file:" + options.comDir + "/report" + std::to_string(number) +
                     ".txt");
    }
  } else {
    args = {options.slaveProgram, "--link", link};
  }
  if (baud != 0) {
    args.push_back("--baud");
    args.push_back(std::to_string(baud));
    args.push_back("--emulate-timing");
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  return StartProcessServing(argv.data(), link.c_str(), kLinkWaitMs);
}

void StopSlave(const MeasureOptions& options, long pid) {
  StopProcess(pid);
  RemoveFile(LinkPath(options).c_str());
}

RunRecord Record(const Plan& plan, int baud, const Scenario& scenario, const char* master, Figures& f) {
  RunRecord r;
  r.line = plan.line;
  r.slave = plan.slave;
  r.baud = baud;
  r.scenario = scenario.id;
  r.master = master;
  r.transactions = f.transactions;
  r.failures = f.failures;
  r.seconds = f.seconds;
  r.meanUs = f.MeanUs();
  r.p99Us = f.PercentileUs(99);
  r.cpuMeanUs = f.CpuMeanUs();
  r.cpuP99Us = f.CpuPercentileUs(99);
  r.allocations = f.allocations;
  return r;
}

bool RunPlan(const MeasureOptions& options, const Plan& plan, std::FILE* out) {
  const int baud = plan.line == "pty" ? 0 : std::atoi(plan.line.c_str());
  const long pid = StartSlave(options, plan, baud);
  if (pid <= 0) {
    std::fprintf(stderr, "bench: cannot start the %s slave\n", plan.slave.c_str());
    return false;
  }
  bool ok = true;
  {
    std::string error;
    // libmodbus opens first: the driver takes the line for exclusive use.
    LibmodbusMaster libmodbus;
    DriverMaster driver;
    if (!libmodbus.Open(LinkPath(options), baud ? baud : kPtyBaud, &error) ||
        !driver.Open(baud ? baud : kPtyBaud, &error)) {
      std::fprintf(stderr, "bench: %s\n", error.c_str());
      StopSlave(options, pid);
      return false;
    }
    for (const std::string& id : plan.scenarios) {
      const Scenario* scenario = FindScenario(id.c_str());
      if (scenario == nullptr || !driver.Prepare(*scenario, &error) ||
          (scenario->shared && !libmodbus.Prepare(*scenario, &error))) {
        std::fprintf(stderr, "bench: %s: %s\n", id.c_str(), scenario ? error.c_str() : "no such scenario");
        ok = false;
        continue;
      }
      const bool longOne = WireMicroseconds(LoadOf(*scenario), baud) > kLongTransactionUs;
      Figures d;
      Figures l;
      RunRounds(driver, scenario->shared ? &libmodbus : nullptr,
                baud ? options.lineSeconds : options.ptySeconds,
                baud ? options.lineRounds : options.ptyRounds, longOne ? 0 : kWarmUp, &d, &l);
      RunRecord driverRecord = Record(plan, baud, *scenario, "driver", d);
      if (scenario->shared) driverRecord.ratioSpread = RatioSpread(d, l);
      WriteRunRecord(out, driverRecord);
      if (scenario->shared) WriteRunRecord(out, Record(plan, baud, *scenario, "libmodbus", l));
      std::fprintf(stderr, "  %-6s %-9s %-20s driver %9.1f tx/s", plan.line.c_str(), plan.slave.c_str(),
                   scenario->title, d.PerSecond());
      if (scenario->shared) std::fprintf(stderr, "  libmodbus %9.1f tx/s", l.PerSecond());
      std::fprintf(stderr, "\n");
      if (d.failures != 0 || l.failures != 0) {
        std::fprintf(stderr, "bench: %s: %llu driver and %llu libmodbus transactions failed\n", id.c_str(),
                     static_cast<unsigned long long>(d.failures),
                     static_cast<unsigned long long>(l.failures));
        ok = false;
      }
    }
  }
  StopSlave(options, pid);
  return ok;
}

}  // namespace

int RunMeasurements(const MeasureOptions& options) {
  if (!WriteReportFiles(options)) {
    std::fprintf(stderr, "bench: cannot write the report files into %s\n", options.comDir.c_str());
    return 1;
  }
  std::FILE* out = std::fopen(options.out.c_str(), "a");
  if (out == nullptr) {
    std::fprintf(stderr, "bench: cannot write %s\n", options.out.c_str());
    return 1;
  }
  const std::string primary = options.rtusim.empty() ? "libmodbus" : "rtusim";
  std::vector<std::string> main(kMainScenarios, kMainScenarios + kMainScenarioCount);
  std::vector<Plan> plans;
  for (const std::string& line : options.lines) {
    Plan plan{primary, line, main};
    if (line == "pty" && options.growth) {
      plan.scenarios.insert(plan.scenarios.end(), kGrowthScenarios, kGrowthScenarios + kGrowthScenarioCount);
    }
    plans.push_back(plan);
  }
  if (primary == "rtusim" && options.secondSlave) plans.push_back({"libmodbus", "pty", main});

  int failed = 0;
  for (const Plan& plan : plans) {
    std::fprintf(stderr, "bench: %s line, %s slave\n", plan.line.c_str(), plan.slave.c_str());
    if (!RunPlan(options, plan, out)) ++failed;
  }
  std::fclose(out);
  return failed == 0 ? 0 : 1;
}
