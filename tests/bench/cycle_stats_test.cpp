// The multi-drop line's figures: the steady cycle leaves out the first, and
// a silent station's reads tell when it was demoted, how often a probe
// waited in vain and how soon it was back once it answered.

#include "bench/cycle_stats.h"

#include <gtest/gtest.h>

#include <vector>

#include "bench/wire_time.h"

namespace {

struct MedianCase {
  std::vector<double> values;
  double median;
};

TEST(CycleStats, MedianTakesTheMiddleOrTheMeanOfTheTwoMiddleOnes) {
  const MedianCase cases[] = {
      {{}, 0}, {{3}, 3}, {{3, 1, 2}, 2}, {{4, 1, 3, 2}, 2.5}, {{5, 5, 1, 9}, 5}, {{0.4, 12.4}, 6.4},
  };
  for (const MedianCase& c : cases)
    EXPECT_DOUBLE_EQ(Median(c.values), c.median) << c.values.size() << " values";
}

struct SummaryCase {
  const char* what;
  std::vector<double> cycles;
  CycleSummary expected;
};

TEST(CycleStats, TheSteadyCycleLeavesOutTheFirst) {
  const SummaryCase cases[] = {
      {"none", {}, {0, 0, 0, 0, 0}},
      {"the first alone", {3.4}, {1, 3.4, 0, 0, 0}},
      // A demoting first cycle and one with a probe's timeout among the rest.
      {"demotion and a probe", {3.4, 0.40, 0.39, 1.40, 0.41}, {5, 3.4, 0.405, 0.39, 1.40}},
      {"all alike", {0.45, 0.45, 0.45}, {3, 0.45, 0.45, 0.45, 0.45}},
  };
  for (const SummaryCase& c : cases) {
    const CycleSummary s = SummariseCycles(c.cycles);
    EXPECT_EQ(s.cycles, c.expected.cycles) << c.what;
    EXPECT_DOUBLE_EQ(s.firstS, c.expected.firstS) << c.what;
    EXPECT_DOUBLE_EQ(s.medianAfterFirstS, c.expected.medianAfterFirstS) << c.what;
    EXPECT_DOUBLE_EQ(s.minAfterFirstS, c.expected.minAfterFirstS) << c.what;
    EXPECT_DOUBLE_EQ(s.maxAfterFirstS, c.expected.maxAfterFirstS) << c.what;
  }
}

TEST(CycleStats, TheProbePeriodDoublesUpToEightTimes) {
  const struct {
    int periodS;
    int silentProbes;
    double expected;
  } cases[] = {{30, 0, 30}, {30, 1, 60}, {30, 2, 120}, {30, 3, 240}, {30, 4, 240}, {5, 10, 40}, {1, 0, 1}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(ProbePeriodS(c.periodS, c.silentProbes), c.expected)
        << c.periodS << " s after " << c.silentProbes << " silent probes";
  }
}

// A left-out read: no request, the driver says so at once.
StationRead Skipped(double at) { return {at, 0.0002, false}; }

struct RecoveryCase {
  const char* what;
  std::vector<StationRead> reads;
  double answersAtS;
  int demoteAfter;
  int periodS;
  Recovery expected;
};

TEST(CycleStats, RecoveryFollowsDemotionProbesAndTheFirstGoodRead) {
  const RecoveryCase cases[] = {
      {"never silent: back with its first read",
       {{0.2, 0.014, true}, {0.7, 0.014, true}},
       0,
       1,
       30,
       {-1, 0, 0, 0.214}},
      {"demoted at once, one silent probe, back at the next",
       {{0.22, 3.0, false},
        Skipped(3.23),
        Skipped(3.6),
        {8.3, 1.0, false},
        Skipped(9.4),
        {19.4, 0.014, true},
        {19.42, 0.014, true}},
       12,
       1,
       5,
       {3.22, 1, 10, 7.414}},
      {"N = 2: the second silent transaction demotes",
       {{0.2, 3.0, false}, {3.2, 3.0, false}, Skipped(6.3), {11.5, 1.0, false}, {21.6, 0.014, true}},
       12,
       2,
       5,
       {6.2, 1, 10, 9.614}},
      {"a probe sent before the station answers again is silent",
       {{0.2, 3.0, false}, {8.3, 1.0, false}, {11.9, 1.0, false}, {32.1, 0.014, true}},
       12,
       1,
       5,
       {3.2, 2, 20, 20.114}},
      {"a quick failure is no silence",
       {{0.2, 0.01, false}, {0.5, 3.0, false}, Skipped(3.6), {35.6, 0.014, true}},
       20,
       1,
       30,
       {3.5, 0, 30, 15.614}},
      {"the period stops at 8 x S",
       {{0.2, 3.0, false},
        {4.3, 1.0, false},
        {7.4, 1.0, false},
        {12.5, 1.0, false},
        {21.6, 1.0, false},
        {38.7, 1.0, false},
        {47.0, 0.014, true}},
       40,
       1,
       1,
       {3.2, 5, 8, 7.014}},
      {"never back",
       {{0.2, 3.0, false}, Skipped(3.3), {8.3, 1.0, false}, Skipped(9.4)},
       12,
       1,
       5,
       {3.2, 1, 10, -1}},
  };
  for (const RecoveryCase& c : cases) {
    const Recovery r = FindRecovery(c.reads, c.answersAtS, 1.0, c.demoteAfter, c.periodS);
    EXPECT_DOUBLE_EQ(r.demotedAtS, c.expected.demotedAtS) << c.what;
    EXPECT_EQ(r.silentProbes, c.expected.silentProbes) << c.what;
    EXPECT_DOUBLE_EQ(r.periodInEffectS, c.expected.periodInEffectS) << c.what;
    EXPECT_NEAR(r.backAfterS, c.expected.backAfterS, 1e-9) << c.what;
  }
}

TEST(CycleStats, TheEchoTakesElevenBitsACharacter) {
  const struct {
    int bytes;
    int baud;
    double us;
  } cases[] = {{8, 19200, 4583.333}, {8, 9600, 9166.667}, {3, 19200, 1718.750}, {8, 0, 0}};
  for (const auto& c : cases) EXPECT_NEAR(EchoMicroseconds(c.bytes, c.baud), c.us, 0.001) << c.baud;
}

}  // namespace
