// Two lines that are not quiet point-to-point links, each against the
// device simulator with the wire's timing, the driver started with an init
// file of the case's own:
//  - the multi-drop line: stations x gates single-register reads in a cycle,
//    all stations answering; one station silent without DEMOTE (each of its
//    gates waits out the reply timeout of every attempt, and one more for a
//    late answer); the same with DEMOTE = N , S; and the station silent for
//    a while and then answering again, to see how soon a probe takes it
//    back;
//  - the echoing line: single-register reads on one station whose adapter
//    hands each request back (rtusim --echo full), with ECHO = YES and
//    ECHO = AUTO, against the same line without the echo (ECHO = NO).
// Records go to the results file (bench/results.h); progress to stderr.
#pragma once

#include <string>
#include <vector>

// A station silent from the start until silentUntilS, under DEMOTE = N , periodS.
struct RecoveryCase {
  int periodS;
  double silentUntilS;
};

// The line both run on, and where their records go.
struct SimulatedLine {
  std::string comDir;  // VPI_COM_DIR: the line is linked there as com1, the init file written there
  std::string rtusim;
  std::string out;  // results file (records appended)
  int baud = 19200;
};

struct MultidropOptions {
  SimulatedLine line;
  int stations = 8;
  int gatesPerStation = 4;
  int silentStation = 5;
  double answeringSeconds = 8;
  int silentCycles = 3;  // without demotion a cycle takes 12 s and more
  // Long enough for one probe at S = 30 s, which the cycles' maximum shows.
  double demotedSeconds = 36;
  int demoteAfter = 1;
  int demotePeriodS = 30;
  // The recoveries: the first probe 30 s after the demotion finds the
  // station answering again; with S = 5 the first probe is silent and
  // doubles the period, the second finds it answering.
  std::vector<RecoveryCase> recoveries{{30, 20}, {5, 16}};
};

struct EchoOptions {
  SimulatedLine line;
  double seconds = 4;  // per case
};

// 0 when every case ran; CheckLineFaultTargets (bench/line_fault_report.h)
// judges the records.
int RunMultidrop(const MultidropOptions& options);
int RunEcho(const EchoOptions& options);
