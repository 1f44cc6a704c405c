#include "bench/lines.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "bench/driver_master.h"
#include "bench/results.h"
#include "bench/rounds.h"
#include "bench/scenarios.h"
#include "programs/far_end.h"
#include "programs/process.h"

namespace {

constexpr int kLinkWaitMs = 5000;
constexpr int kWarmUp = 3;
constexpr size_t kFigureRoom = 400000;

std::string LinkPath(const LinesOptions& options, int line) {
  return options.comDir + "/com" + std::to_string(line);
}

long StartSimulator(const LinesOptions& options, int line) {
  const std::string link = LinkPath(options, line);
  RemoveFile(link.c_str());
  const std::string baud = std::to_string(options.baud);
  const char* argv[] = {options.rtusim.c_str(), "--link",           link.c_str(), "--stations", "1", "--baud",
                        baud.c_str(),           "--emulate-timing", nullptr};
  return StartProcessServing(argv, link.c_str(), kLinkWaitMs);
}

double Percentile(std::vector<double> values, double percent) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  size_t rank = static_cast<size_t>(percent / 100.0 * static_cast<double>(values.size()) + 0.999999);
  rank = std::clamp<size_t>(rank, 1, values.size());
  return values[rank - 1];
}

// One step of the series: k lines for options.seconds. False when a line
// could not be set up or a transaction failed.
bool RunStep(const LinesOptions& options, int k, LinesRecord* record) {
  std::vector<long> pids;
  bool ok = true;
  for (int line = 1; line <= k && ok; ++line) {
    const long pid = StartSimulator(options, line);
    if (pid <= 0) {
      std::fprintf(stderr, "bench: cannot start the simulator of line %d\n", line);
      ok = false;
    } else {
      pids.push_back(pid);
    }
  }
  const Scenario* scenario = FindScenario("read1");
  // Instances start and stop one after another on this thread; only the
  // transactions run at the same time.
  std::vector<std::unique_ptr<DriverMaster>> masters;
  for (int line = 1; line <= k && ok; ++line) {
    auto master = std::make_unique<DriverMaster>();
    std::string error;
    const std::string port = "COM" + std::to_string(line);
    if (!master->Open(options.baud, &error, port.c_str()) || !master->Prepare(*scenario, &error)) {
      std::fprintf(stderr, "bench: line %d: %s\n", line, error.c_str());
      ok = false;
    }
    masters.push_back(std::move(master));
  }
  if (ok) {
    // Room for every figure before any line starts: an allocation on one
    // thread would count as one in another's transaction.
    std::vector<Figures> figures(static_cast<size_t>(k));
    for (Figures& f : figures) {
      f.latencyUs.reserve(kFigureRoom);
      f.cpuUs.reserve(kFigureRoom);
      f.sliceRates.reserve(1);
    }
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < k; ++i) {
      threads.emplace_back([&, i] {
        for (int w = 0; w < kWarmUp; ++w) masters[static_cast<size_t>(i)]->Transact();
        ++ready;
        while (!go.load()) std::this_thread::yield();
        RunSlice(*masters[static_cast<size_t>(i)], options.seconds, &figures[static_cast<size_t>(i)]);
      });
    }
    while (ready.load() < k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    go = true;
    for (std::thread& t : threads) t.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;

    record->lines = k;
    record->baud = options.baud;
    std::vector<double> cpuUs;
    for (const Figures& f : figures) {
      record->transactions += f.transactions;
      record->failures += f.failures;
      record->allocations += f.allocations;
      record->aggregatePerSecond += f.PerSecond();
      record->worstLineP99Us = std::max(record->worstLineP99Us, f.PercentileUs(99));
      cpuUs.insert(cpuUs.end(), f.cpuUs.begin(), f.cpuUs.end());
    }
    record->seconds = wall;
    record->cpuPerTransactionUs = record->transactions ? cpu * 1e6 / record->transactions : 0.0;
    record->cpuP99Us = Percentile(cpuUs, 99);
    if (record->failures != 0) ok = false;
  }
  masters.clear();
  for (long pid : pids) StopProcess(pid);
  for (int line = 1; line <= k; ++line) RemoveFile(LinkPath(options, line).c_str());
  return ok;
}

}  // namespace

int RunLines(const LinesOptions& options) {
  if (options.rtusim.empty()) {
    std::fprintf(stderr, "bench: the many-lines series needs the simulator (rtusim)\n");
    return 1;
  }
  std::FILE* out = std::fopen(options.out.c_str(), "a");
  if (out == nullptr) {
    std::fprintf(stderr, "bench: cannot write %s\n", options.out.c_str());
    return 1;
  }
  int failed = 0;
  for (int k : options.counts) {
    LinesRecord record;
    if (!RunStep(options, k, &record)) ++failed;
    if (record.lines != 0) {
      WriteLinesRecord(out, record);
      std::fprintf(
          stderr,
          "  %2d lines at %d baud: %8.1f tx/s, worst line p99 %.1f ms, CPU %.1f us/tx (p99 %.1f us)%s\n", k,
          options.baud, record.aggregatePerSecond, record.worstLineP99Us / 1000, record.cpuPerTransactionUs,
          record.cpuP99Us,
          record.failures ? (" " + std::to_string(record.failures) + " failed").c_str() : "");
    }
  }
  std::fclose(out);
  return failed == 0 ? 0 : 1;
}
