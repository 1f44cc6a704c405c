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
//   cycles <situation> <stations> <gates a station> <baud> <silent station> <demote> <cycles> <reads>
//         <failed reads> <first s> <median after the first s> <min after the first s> <max after the first s>
//   recovery <stations> <baud> <silent station> <demote> <answers at s> <demoted at s> <silent probes>
//         <probe period then s> <back after s> <steady cycle s>
//   echo  <line's echo> <ECHO setting> <baud> <transactions> <failures> <seconds> <mean us> <p99 us>
//
// The last three come from the multi-drop line and the echoing line
// (bench/line_faults.h); <demote> is DEMOTE's "N,S", "-" without.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/cycle_stats.h"

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

// The read cycles of one situation of the multi-drop line.
struct CycleRecord {
  std::string situation;  // "answering", "silent" (no demotion), "demoted"
  int stations = 0;
  int gatesPerStation = 0;
  int baud = 0;
  int silentStation = 0;  // 0: every station answers
  std::string demote = "-";
  uint64_t reads = 0;
  uint64_t failedReads = 0;
  CycleSummary summary;
};

// A station silent for a while, then answering again (bench/cycle_stats.h).
struct RecoveryRecord {
  int stations = 0;
  int baud = 0;
  int silentStation = 0;
  std::string demote = "-";
  double answersAtS = 0;  // from the simulator's start
  Recovery figures;
  double steadyCycleS = 0;  // the run's median cycle after the first
};

// Single-register reads on one station, with or without the line's echo.
struct EchoRecord {
  std::string lineEcho;  // the simulator's --echo mode, "none" without
  std::string setting;   // ECHO = in the init file
  int baud = 0;
  uint64_t transactions = 0;
  uint64_t failures = 0;
  double seconds = 0;
  double meanUs = 0;
  double p99Us = 0;
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
  std::vector<CycleRecord> cycles;
  std::vector<RecoveryRecord> recoveries;
  std::vector<EchoRecord> echoes;
};

void WriteRunRecord(std::FILE* out, const RunRecord& record);
void WriteLinesRecord(std::FILE* out, const LinesRecord& record);
void WriteCycleRecord(std::FILE* out, const CycleRecord& record);
void WriteRecoveryRecord(std::FILE* out, const RecoveryRecord& record);
void WriteEchoRecord(std::FILE* out, const EchoRecord& record);
// Adds the records of a file; false with a reason when it cannot be read.
bool ReadResults(const char* path, Results* results, std::string* error);
// The table, then one line with the headline figures; then the tables of
// the many lines, the multi-drop line and the echoing line, where the
// results hold them.
void PrintTable(const Results& results, std::FILE* out);
