// The benchmark's records survive the file, older records still read, and
// the tables judge the many-lines series against one line.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/results.h"
#include "tests/bench/printed.h"
#include "tests/support/temp_dir.h"

namespace {

RunRecord ReadOneRegister(const char* master, double cpuP99Us) {
  RunRecord r;
  r.line = "pty";
  r.slave = "rtusim";
  r.scenario = "read1";
  r.master = master;
  r.transactions = 1000;
  r.seconds = 0.1;
  r.meanUs = 100;
  r.p99Us = 200;
  r.cpuMeanUs = cpuP99Us / 2;
  r.cpuP99Us = cpuP99Us;
  return r;
}

LinesRecord Lines(int k, double perSecond, double p99Us) {
  LinesRecord r;
  r.lines = k;
  r.baud = 19200;
  r.transactions = static_cast<uint64_t>(perSecond * 5);
  r.seconds = 5;
  r.aggregatePerSecond = perSecond;
  r.worstLineP99Us = p99Us;
  r.cpuPerTransactionUs = 30;
  r.cpuP99Us = 70;
  return r;
}

TEST(BenchResults, RecordsReadBackIntoTheTables) {
  Results results;
  std::string error;
  ASSERT_TRUE(ReadBack(
      [](std::FILE* file) {
        WriteRunRecord(file, ReadOneRegister("driver", 62));
        WriteRunRecord(file, ReadOneRegister("libmodbus", 70));
        // k = 8 falls short on rate and on p99; k = 16 meets both.
        for (const LinesRecord& r : {Lines(1, 80, 13000), Lines(8, 600, 16000), Lines(16, 1280, 13500)}) {
          WriteLinesRecord(file, r);
        }
      },
      &results, &error))
      << error;
  ASSERT_EQ(results.runs.size(), 2u);
  ASSERT_EQ(results.lines.size(), 3u);
  EXPECT_DOUBLE_EQ(results.runs[0].cpuP99Us, 62);
  EXPECT_DOUBLE_EQ(results.lines[1].worstLineP99Us, 16000);

  const std::string table = PrintedTable(results);
  EXPECT_NE(table.find("62 us / 70 us"), std::string::npos) << table;
  EXPECT_NE(table.find("at most 62 us (driver) vs 70 us (libmodbus)"), std::string::npos) << table;
  EXPECT_NE(table.find("| 0.938 |"), std::string::npos) << table;  // 600 / (8 x 80)
  EXPECT_NE(table.find("+23.1%"), std::string::npos) << table;     // 16 ms against 13 ms
  EXPECT_NE(table.find("2 of 3 steps meet"), std::string::npos) << table;
  EXPECT_NE(table.find("lowest ratio 0.938, worst p99 +23.1%"), std::string::npos) << table;
}

TEST(BenchResults, RunRecordsWithoutCpuFiguresStillRead) {
  TempDir dir;
  dir.Write("old.tsv",
            "run\tpty\trtusim\t0\tread1\tdriver\t1000\t0\t0.1\t100\t200\t0\t-1\n"
            "cost\trtusim\tdriver\tread1\tinstructions\t1017\n"
            "lines\t4\t19200\n");  // cut short: skipped
  Results results;
  std::string error;
  ASSERT_TRUE(ReadResults((dir.path() / "old.tsv").string().c_str(), &results, &error)) << error;
  ASSERT_EQ(results.runs.size(), 1u);
  EXPECT_LT(results.runs[0].cpuP99Us, 0);
  EXPECT_EQ(results.costs.size(), 1u);
  EXPECT_TRUE(results.lines.empty());
  EXPECT_NE(PrintedTable(results).find(" - / - |"), std::string::npos);  // no CPU figures
}

}  // namespace
