#include "bench/cycle_stats.h"

#include <algorithm>

namespace {
constexpr int kLongestFactor = 8;
}  // namespace

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  if (values.size() % 2 != 0) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

CycleSummary SummariseCycles(const std::vector<double>& cycleSeconds) {
  CycleSummary summary;
  summary.cycles = static_cast<int>(cycleSeconds.size());
  if (cycleSeconds.empty()) return summary;
  summary.firstS = cycleSeconds.front();
  if (cycleSeconds.size() == 1) return summary;
  const std::vector<double> rest(cycleSeconds.begin() + 1, cycleSeconds.end());
  summary.medianAfterFirstS = Median(rest);
  const auto [low, high] = std::minmax_element(rest.begin(), rest.end());
  summary.minAfterFirstS = *low;
  summary.maxAfterFirstS = *high;
  return summary;
}

double ProbePeriodS(int periodS, int silentProbes) {
  int factor = 1;
  for (int i = 0; i < silentProbes && factor < kLongestFactor; ++i) factor *= 2;
  return static_cast<double>(periodS) * std::min(factor, kLongestFactor);
}

Recovery FindRecovery(const std::vector<StationRead>& reads, double answersAtS, double replyTimeoutS,
                      int demoteAfter, int periodS) {
  Recovery recovery;
  int silentRun = 0;
  for (const StationRead& read : reads) {
    const bool waited = read.seconds >= replyTimeoutS / 2;
    if (read.ok) {
      silentRun = 0;
      if (read.startS >= answersAtS) {
        recovery.backAfterS = read.startS + read.seconds - answersAtS;
        break;
      }
      continue;
    }
    if (!waited) continue;
    if (recovery.demotedAtS < 0) {
      if (++silentRun >= demoteAfter) recovery.demotedAtS = read.startS + read.seconds;
    } else if (read.startS < answersAtS) {
      ++recovery.silentProbes;
    }
  }
  recovery.periodInEffectS = recovery.demotedAtS < 0 ? 0.0 : ProbePeriodS(periodS, recovery.silentProbes);
  return recovery;
}
