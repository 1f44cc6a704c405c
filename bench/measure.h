// The timed part of the benchmark: for each line profile a slave in a process
// of its own, then the scenarios in A B A B rounds of the driver and
// libmodbus on that one line.
#pragma once

#include <string>
#include <vector>

struct MeasureOptions {
  std::string comDir;        // VPI_COM_DIR: the line is linked there as com1
  std::string rtusim;        // the device simulator; empty when not built
  std::string slaveProgram;  // kovrin_bench_slave
  std::string out;           // results file (records appended)
  std::vector<std::string> lines{"pty", "19200", "9600"};
  double ptySeconds = 1.0;   // per master and scenario, unthrottled line
  double lineSeconds = 2.5;  // per master and scenario, emulated lines
  // Short slices on the unthrottled line, so that noise hits both alike.
  int ptyRounds = 20;
  int lineRounds = 5;
  bool growth = true;       // the block-size and report-length series
  bool secondSlave = true;  // the shared scenarios also against the libmodbus slave
};

// 0 when every plan ran; progress and problems go to standard error.
int RunMeasurements(const MeasureOptions& options);
