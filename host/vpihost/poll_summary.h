// What a poll of many cycles adds up to: per gate the transfers, how they
// ended and how long they took; per station what the driver's journal said
// of them and the state the driver gives it; for the whole run the rate and
// the share that failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/vpihost/stations.h"

struct GateStats {
  uint64_t transfers = 0;
  uint64_t successes = 0;
  std::map<int32_t, uint64_t> failures;  // by result code
  // By result code, then by cause; a cause's count for each result it came with.
  std::map<int32_t, std::map<std::string, uint64_t>> causes;
  uint64_t retries = 0;  // requests sent again, of every transfer
  double minMs = 0;
  double maxMs = 0;
  double totalMs = 0;

  uint64_t failed() const { return transfers - successes; }
  double meanMs() const { return transfers == 0 ? 0 : totalMs / static_cast<double>(transfers); }
};

// The state a station-health gate reads: 0 answering, 1 its last transaction
// got no reply, 2 demoted; kStationStateUnknown while the driver cannot say.
constexpr int32_t kStationStateUnknown = -1;
const char* StationStateText(int32_t state);

struct StationStats {
  uint64_t transfers = 0;
  uint64_t successes = 0;
  uint64_t retries = 0;
  uint64_t silent = 0;  // transfers in which no attempt heard a byte
  uint64_t wrongFrames = 0;
  uint64_t badCrcs = 0;
  uint64_t echoCollisions = 0;
  uint64_t echoesMissing = 0;
  uint64_t demotions = 0;
  uint64_t skipped = 0;                // transfers the driver did not send: the station was demoted
  std::map<int, uint64_t> exceptions;  // by code, kOtherExceptionCode for codes past 8
  std::vector<double> replyMs;         // every successful transfer's time, in order
  int32_t state = kStationStateUnknown;

  bool HasReplies() const { return !replyMs.empty(); }
  double MinReplyMs() const;
  double MeanReplyMs() const;
  double P99ReplyMs() const;
  // Code and count, by code, the other codes last.
  std::vector<std::pair<int, uint64_t>> ExceptionsInOrder() const;
  // "2:3 4:1 other:1"
  std::string ExceptionsText() const;
};

// The nearest-rank 99th percentile: the smallest time that at least 99 % of
// the times do not exceed; 0 without times.
double P99(std::vector<double> milliseconds);

class PollSummary {
 public:
  explicit PollSummary(size_t gateCount) : gates_(gateCount) {}

  // One transfer of gate (0-based) with its result and duration, why it
  // failed (CauseText) and how often its request was sent again.
  void Record(size_t gate, int32_t result, double milliseconds, const std::string& cause = {},
              uint32_t retries = 0);
  // The same transfer for its station, with the journal lines it wrote.
  void RecordStation(int32_t station, int32_t result, double milliseconds, const TransferJournal& journal);
  void SetStationState(int32_t station, int32_t state);
  void CycleDone() { ++cycles_; }
  // The run's length: from the start of the first cycle to the end, pauses
  // between cycles included.
  void SetSeconds(double seconds) { seconds_ = seconds; }
  void SetInterrupted() { interrupted_ = true; }

  const std::vector<GateStats>& gates() const { return gates_; }
  // By station number.
  const std::map<int32_t, StationStats>& stations() const { return stations_; }
  int cycles() const { return cycles_; }
  double seconds() const { return seconds_; }
  bool interrupted() const { return interrupted_; }
  uint64_t transfers() const;
  uint64_t failed() const;
  uint64_t retries() const;
  // 0 to 1; 0 without transfers.
  double FailedShare() const;
  // 0 for a run of no measurable length.
  double TransfersPerSecond() const;

 private:
  std::vector<GateStats> gates_;
  std::map<int32_t, StationStats> stations_;
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
// every gate that made transfers, then, when stations were recorded, a table
// with a row for each.
std::string SummaryText(const PollSummary& summary, const std::vector<GateLabel>& labels);
