// What the multi-drop line's timings come to: the steady read cycle, and how
// a station that fell silent was demoted, probed and taken back. Plain
// arithmetic over what the benchmark timed, so that it can be tested alone.
#pragma once

#include <vector>

// The middle value (the mean of the two middle ones for an even count); 0
// for none.
double Median(std::vector<double> values);

struct CycleSummary {
  int cycles = 0;
  double firstS = 0;
  // The cycles after the first, which carries the start and, on a line
  // with a silent station, its demotion.
  double medianAfterFirstS = 0;
  double minAfterFirstS = 0;
  double maxAfterFirstS = 0;
};

CycleSummary SummariseCycles(const std::vector<double>& cycleSeconds);

// One read of the station that falls silent, timed from the simulator's
// start.
struct StationRead {
  double startS = 0;
  double seconds = 0;
  bool ok = false;
};

struct Recovery {
  double demotedAtS = -1;      // end of the read that demoted it; -1: never demoted
  int silentProbes = 0;        // probes that waited in vain before it answered again
  double periodInEffectS = 0;  // the probe period when it answered again
  double backAfterS = -1;      // from answering again to the end of its first good read; -1: never
};

// The probe period after that many silent probes: S doubled each time, 8 x S
// at most.
double ProbePeriodS(int periodS, int silentProbes);

// reads in their order; the station answers again at answersAtS. A failed
// read that took half the reply timeout or more waited for a reply; a
// quicker one sent nothing (the station was left out). demoteAfter is N of
// DEMOTE = N , S and periodS its S.
Recovery FindRecovery(const std::vector<StationRead>& reads, double answersAtS, double replyTimeoutS,
                      int demoteAfter, int periodS);
