#include "bench/rounds.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "bench/allocation_counter.h"

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of the calling thread, kernel time included: what one
// transaction costs the host process, whatever else the machine runs.
double ThreadCpuUs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double Percentile(const std::vector<double>& values, double percent) {
  if (values.empty()) return 0.0;
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  size_t rank = static_cast<size_t>(percent / 100.0 * static_cast<double>(sorted.size()) + 0.999999);
  rank = std::clamp<size_t>(rank, 1, sorted.size());
  return sorted[rank - 1];
}

double Mean(const std::vector<double>& values) {
  if (values.empty()) return 0.0;
  double sum = 0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}
}  // namespace

double Figures::MeanUs() const { return Mean(latencyUs); }
double Figures::PercentileUs(double percent) const { return Percentile(latencyUs, percent); }
double Figures::CpuMeanUs() const { return Mean(cpuUs); }
double Figures::CpuPercentileUs(double percent) const { return Percentile(cpuUs, percent); }

void RunSlice(Master& master, double sliceSeconds, Figures* figures) {
  if (figures->latencyUs.capacity() < figures->latencyUs.size() + 200000) {
    figures->latencyUs.reserve(figures->latencyUs.size() + 400000);
    figures->cpuUs.reserve(figures->cpuUs.size() + 400000);
  }
  const Clock::time_point start = Clock::now();
  Clock::time_point now = start;
  uint64_t count = 0;
  do {
    const uint64_t allocationsBefore = AllocationCount();
    const double cpuBefore = ThreadCpuUs();
    const Clock::time_point before = Clock::now();
    const bool done = master.Transact();
    now = Clock::now();
    figures->cpuUs.push_back(ThreadCpuUs() - cpuBefore);
    figures->allocations += AllocationCount() - allocationsBefore;
    figures->latencyUs.push_back(Seconds(now - before) * 1e6);
    ++figures->transactions;
    ++count;
    if (!done) ++figures->failures;
  } while (Seconds(now - start) < sliceSeconds);
  const double slice = Seconds(now - start);
  figures->seconds += slice;
  figures->sliceRates.push_back(slice > 0 ? static_cast<double>(count) / slice : 0.0);
}

double RatioSpread(const Figures& first, const Figures& second) {
  const size_t n = std::min(first.sliceRates.size(), second.sliceRates.size());
  if (n < 2) return -1.0;
  std::vector<double> ratios;
  for (size_t i = 0; i < n; ++i) {
    if (second.sliceRates[i] > 0) ratios.push_back(first.sliceRates[i] / second.sliceRates[i]);
  }
  if (ratios.size() < 2) return -1.0;
  double mean = 0;
  for (double r : ratios) mean += r;
  mean /= static_cast<double>(ratios.size());
  double squares = 0;
  for (double r : ratios) squares += (r - mean) * (r - mean);
  const double variance = squares / static_cast<double>(ratios.size() - 1);
  return 1.96 * std::sqrt(variance / static_cast<double>(ratios.size()));
}

void RunRounds(Master& first, Master* second, double secondsPerMaster, int rounds, int warmUp,
               Figures* firstFigures, Figures* secondFigures) {
  for (int i = 0; i < warmUp; ++i) {
    first.Transact();
    if (second != nullptr) second->Transact();
  }
  const double slice = secondsPerMaster / std::max(rounds, 1);
  for (int round = 0; round < std::max(rounds, 1); ++round) {
    RunSlice(first, slice, firstFigures);
    if (second != nullptr) RunSlice(*second, slice, secondFigures);
    // A transaction longer than the slice ends the rounds early.
    if (firstFigures->seconds >= secondsPerMaster) break;
  }
}
