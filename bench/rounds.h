// Timed transactions of one master, and the A B A B rounds of two masters on
// one line, so that machine noise hits both alike.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/master.h"

struct Figures {
  uint64_t transactions = 0;
  uint64_t failures = 0;
  uint64_t allocations = 0;  // counted inside the transactions only
  double seconds = 0;
  std::vector<double> latencyUs;
  std::vector<double> cpuUs;       // the thread's CPU time of each transaction (user and system)
  std::vector<double> sliceRates;  // transactions per second of each slice

  double PerSecond() const { return seconds > 0 ? transactions / seconds : 0.0; }
  double MeanUs() const;
  double PercentileUs(double percent) const;  // sorts latencyUs
  double CpuMeanUs() const;
  double CpuPercentileUs(double percent) const;
};

// Transactions until sliceSeconds passed, at least one.
void RunSlice(Master& master, double sliceSeconds, Figures* figures);

// Up to `rounds` rounds, each a slice of the first master and then one of
// the second (when there is one), until each master had about
// secondsPerMaster; at least one round. warmUp transactions of each go
// first, unmeasured.
// Half-width of the 95% confidence interval of the mean of the per-round
// ratios first / second (paired by round); -1 with fewer than two rounds.
double RatioSpread(const Figures& first, const Figures& second);

void RunRounds(Master& first, Master* second, double secondsPerMaster, int rounds, int warmUp,
               Figures* firstFigures, Figures* secondFigures);
