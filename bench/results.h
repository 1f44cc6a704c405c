// The benchmark's figures as tab-separated records, and the table made of
// them. "run" records come from the timed rounds, "cost" records (user-space
// instructions and system calls per transaction) from the callgrind and
// strace runs of bench/run.sh.
//
//   run   <line> <slave> <baud> <scenario> <master> <transactions> <failures> <seconds> <mean us> <p99 us>
//         <allocations> <ratio spread> <CPU mean us> <CPU p99 us>
//   cost  <slave> <master> <scenario> <instructions|syscalls> <per transaction>
//   lines <k> <baud> <transactions> <failures> <seconds> <aggregate tx/s> <worst line p99 us>
//         <process CPU us per transaction> <CPU p99 us> <allocations>
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct RunRecord {
  std::string line;   // "pty" (unthrottled) or the emulated baud rate
  std::string slave;  // "rtusim" or "libmodbus"
  int baud = 0;       // 0 on the unthrottled line
  std::string scenario;
  std::string master;  // "driver" or "libmodbus"
  uint64_t transactions = 0;
  uint64_t failures = 0;
  double seconds = 0;
  double meanUs = 0;
  double p99Us = 0;
  uint64_t allocations = 0;
  double ratioSpread = -1;  // driver records: 95% interval of the per-round ratio, -1 none
  double cpuMeanUs = -1;    // the master thread's CPU time per transaction, -1 not measured
  double cpuP99Us = -1;
};

// One step of the many-lines series (bench/lines.h).
struct LinesRecord {
  int lines = 0;
  int baud = 0;
  uint64_t transactions = 0;
  uint64_t failures = 0;
  double seconds = 0;
  double aggregatePerSecond = 0;  // the sum of the lines' rates
  double worstLineP99Us = 0;
  double cpuPerTransactionUs = 0;  // the whole process (user and system)
  double cpuP99Us = 0;             // of one transaction, on its line's thread
  uint64_t allocations = 0;
};

struct CostRecord {
  std::string slave;
  std::string master;
  std::string scenario;
  std::string metric;
  double perTransaction = 0;
};

struct Results {
  std::vector<RunRecord> runs;
  std::vector<CostRecord> costs;
  std::vector<LinesRecord> lines;
};

void WriteRunRecord(std::FILE* out, const RunRecord& record);
void WriteLinesRecord(std::FILE* out, const LinesRecord& record);
// Adds the records of a file; false with a reason when it cannot be read.
bool ReadResults(const char* path, Results* results, std::string* error);
// The table, then one line with the headline figures.
void PrintTable(const Results& results, std::FILE* out);
