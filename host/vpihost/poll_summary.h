// What a poll of many cycles adds up to: per gate the transfers, how they
// ended and how long they took, and for the whole run the rate and the share
// that failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct GateStats {
  uint64_t transfers = 0;
  uint64_t successes = 0;
  std::map<int32_t, uint64_t> failures;  // by result code
  double minMs = 0;
  double maxMs = 0;
  double totalMs = 0;

  uint64_t failed() const { return transfers - successes; }
  double meanMs() const { return transfers == 0 ? 0 : totalMs / static_cast<double>(transfers); }
};

class PollSummary {
 public:
  explicit PollSummary(size_t gateCount) : gates_(gateCount) {}

  // One transfer of gate (0-based) with its result and duration.
  void Record(size_t gate, int32_t result, double milliseconds);
  void CycleDone() { ++cycles_; }
  // The run's length: from the start of the first cycle to the end, pauses
  // between cycles included.
  void SetSeconds(double seconds) { seconds_ = seconds; }
  void SetInterrupted() { interrupted_ = true; }

  const std::vector<GateStats>& gates() const { return gates_; }
  int cycles() const { return cycles_; }
  double seconds() const { return seconds_; }
  bool interrupted() const { return interrupted_; }
  uint64_t transfers() const;
  uint64_t failed() const;
  // 0 to 1; 0 without transfers.
  double FailedShare() const;
  // 0 for a run of no measurable length.
  double TransfersPerSecond() const;

 private:
  std::vector<GateStats> gates_;
  int cycles_ = 0;
  double seconds_ = 0;
  bool interrupted_ = false;
};

// How the summary names a gate.
struct GateLabel {
  std::string address;
  std::string type;
};

// The summary as lines of text: the run's line, then a table with a row for
// every gate that made transfers.
std::string SummaryText(const PollSummary& summary, const std::vector<GateLabel>& labels);
