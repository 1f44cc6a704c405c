// The many-lines series: k lines at once, each its own driver instance, its
// own thread and its own simulator with the wire's timing, single-register
// reads as fast as each line answers. Shows whether instances hold each
// other up: aggregate rate against k times one line, each line's p99, and
// the process's CPU per transaction.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct LinesOptions {
  std::string comDir;  // VPI_COM_DIR: line i is linked there as com<i>
  std::string rtusim;  // the device simulator
  std::string out;     // results file (records appended)
  std::vector<int> counts{1, 2, 4, 8, 16};
  int baud = 19200;
  double seconds = 5.0;  // per step of the series
};

// 0 when every step ran without a failed transaction; progress to stderr.
int RunLines(const LinesOptions& options);
