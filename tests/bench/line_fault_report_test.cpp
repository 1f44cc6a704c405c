// The multi-drop and echoing line's records survive the file, their tables
// compare with the all-answering and the echo-less line, and the check
// passes exactly the runs that meet the targets.

#include "bench/line_fault_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/bench/printed.h"

namespace {

CycleRecord Cycles(int silentStation, const char* demote, double medianS, uint64_t failedReads = 0) {
  CycleRecord r;
  r.situation = silentStation == 0 ? "answering" : demote[0] == '-' ? "silent" : "demoted";
  r.stations = 8;
  r.gatesPerStation = 4;
  r.baud = 19200;
  r.silentStation = silentStation;
  r.demote = demote;
  r.reads = 640;
  r.failedReads = failedReads;
  r.summary = {20, medianS * 2, medianS, medianS * 0.98, medianS * 1.5};
  return r;
}

RecoveryRecord Recovered(double backAfterS) {
  RecoveryRecord r;
  r.stations = 8;
  r.baud = 19200;
  r.silentStation = 5;
  r.demote = "1,5";
  r.answersAtS = 12;
  r.figures = {3.2, 1, 10, backAfterS};
  r.steadyCycleS = 0.4;
  return r;
}

EchoRecord Echoed(const char* lineEcho, const char* setting, double meanUs, uint64_t failures = 0) {
  return {lineEcho, setting, 19200, 280, failures, 4.0, meanUs, meanUs * 1.1};
}

Results With(std::vector<CycleRecord> cycles, std::vector<RecoveryRecord> recoveries = {},
             std::vector<EchoRecord> echoes = {}) {
  Results results;
  results.cycles = std::move(cycles);
  results.recoveries = std::move(recoveries);
  results.echoes = std::move(echoes);
  return results;
}

TEST(LineFaultReport, RecordsReadBackIntoTheirTables) {
  Results results;
  std::string error;
  ASSERT_TRUE(ReadBack(
      [](std::FILE* file) {
        WriteCycleRecord(file, Cycles(0, "-", 0.450));
        WriteCycleRecord(file, Cycles(5, "-", 12.390, 8));
        WriteCycleRecord(file, Cycles(5, "1,30", 0.396, 4));
        WriteRecoveryRecord(file, Recovered(7.4));
        WriteEchoRecord(file, Echoed("none", "NO", 14100));
        WriteEchoRecord(file, Echoed("full", "YES", 18680));
      },
      &results, &error))
      << error;
  ASSERT_EQ(results.cycles.size(), 3u);
  ASSERT_EQ(results.recoveries.size(), 1u);
  ASSERT_EQ(results.echoes.size(), 2u);
  EXPECT_EQ(results.cycles[2].situation, "demoted");
  EXPECT_EQ(results.cycles[2].demote, "1,30");
  EXPECT_EQ(results.cycles[1].failedReads, 8u);
  EXPECT_DOUBLE_EQ(results.cycles[2].summary.medianAfterFirstS, 0.396);
  EXPECT_DOUBLE_EQ(results.recoveries[0].figures.backAfterS, 7.4);
  EXPECT_EQ(results.recoveries[0].figures.silentProbes, 1);
  EXPECT_EQ(results.echoes[1].setting, "YES");
  EXPECT_DOUBLE_EQ(results.echoes[1].meanUs, 18680);

  const std::string table = PrintedTable(results);
  EXPECT_EQ(table.find("driver tx/s"), std::string::npos) << table;  // no main table without its records
  // The cells are padded to their columns: each is looked for with its end.
  EXPECT_NE(table.find(" 0.88 x |"), std::string::npos) << table;   // 0.396 s against 0.450 s
  EXPECT_NE(table.find(" 27.53 x |"), std::string::npos) << table;  // 12.39 s without demotion
  EXPECT_NE(table.find("| 1 , 30 |"), std::string::npos) << table;
  EXPECT_NE(table.find(" 4 of 640 |"), std::string::npos) << table;
  EXPECT_NE(table.find(" 7.4 s |"), std::string::npos) << table;
  EXPECT_NE(table.find(" 1.000 | 18.7 ms / 20.5 ms |"), std::string::npos) << table;
  EXPECT_NE(table.find(" +4.58 ms |"), std::string::npos) << table;  // 18.68 ms against 14.10
  EXPECT_NE(table.find(" 4.58 ms | 0 of 280 |"), std::string::npos) << table;
}

struct CheckCase {
  const char* what;
  Results results;
  bool passes;
  std::vector<const char*> lines;
};

TEST(LineFaultReport, TheCheckPassesWhatMeetsTheTargets) {
  const CheckCase cases[] = {
      {"demoted cycle shorter than all answering",
       With({Cycles(0, "-", 0.450), Cycles(5, "1,30", 0.396, 4)}),
       true,
       {"PASS multidrop: 8 stations at 19200 baud, all answering: 0 of 640 reads failed",
        "PASS multidrop: 8 stations at 19200 baud, station 5 silent, DEMOTE = 1 , 30: the cycle after the "
        "first "
        "0.396 s, 0.88 x the all-answering 0.450 s (at most 1.10 x)"}},
      {"10% over is still within", With({Cycles(0, "-", 0.400), Cycles(5, "1,30", 0.440)}), true, {"1.10 x"}},
      {"12% over fails",
       With({Cycles(0, "-", 0.400), Cycles(5, "1,30", 0.448)}),
       false,
       {"FAIL multidrop: 8 stations at 19200 baud, station 5 silent, DEMOTE = 1 , 30: the cycle after the "
        "first "
        "0.448 s, 1.12 x"}},
      {"nothing to compare with",
       With({Cycles(5, "1,30", 0.396)}),
       false,
       {"FAIL multidrop: 8 stations at 19200 baud, station 5 silent, DEMOTE = 1 , 30: no steady cycle"}},
      {"a failed read while all answer",
       With({Cycles(0, "-", 0.450, 1)}),
       false,
       {"FAIL multidrop: 8 stations at 19200 baud, all answering: 1 of 640 reads failed"}},
      {"without demotion the silent station is measured, not judged",
       With({Cycles(5, "-", 12.39, 8)}),
       false,
       {"FAIL nothing to judge"}},
      {"back within the period", With({}, {Recovered(7.4)}), true, {"PASS recovery: station 5"}},
      {"back within the period and one cycle", With({}, {Recovered(10.3)}), true, {"PASS recovery"}},
      {"back too late",
       With({}, {Recovered(10.5)}),
       false,
       {"FAIL recovery: station 5, DEMOTE = 1 , 5: back in the cycle 10.5 s after it answers again, probe "
        "period then 10 s"}},
      {"never back", With({}, {Recovered(-1)}), false, {"FAIL recovery: station 5, DEMOTE = 1 , 5: never"}},
      {"every echoed transaction succeeds",
       With({}, {}, {Echoed("none", "NO", 14100), Echoed("full", "AUTO", 14300)}),
       true,
       {"PASS echo: --echo none, ECHO = NO: 0 of 280", "PASS echo: --echo full, ECHO = AUTO: 0 of 280"}},
      {"one echoed transaction failed",
       With({}, {}, {Echoed("full", "YES", 14300, 1)}),
       false,
       {"FAIL echo: --echo full, ECHO = YES: 1 of 280 transactions failed"}},
      {"no records", With({}), false, {"FAIL nothing to judge"}},
  };
  for (const CheckCase& c : cases) {
    bool passed = !c.passes;
    const std::string text =
        Captured([&](std::FILE* out) { passed = CheckLineFaultTargets(c.results, out); });
    EXPECT_EQ(passed, c.passes) << c.what << "\n" << text;
    for (const char* line : c.lines) EXPECT_NE(text.find(line), std::string::npos) << c.what << "\n" << text;
  }
}

}  // namespace
