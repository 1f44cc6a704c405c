// What a transaction must give when the simulator answers its requests with
// the fault actions it logged: the retry schemes of the read and write
// transactions replayed over the logged actions, one request each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

// The driver's reply timeout in the soak (started with 15 x 10 ms).
constexpr int kSoakReplyTimeoutMs = 150;
// A device that answers late: after the reply timeout has run out, but
// within twice it, so that the driver's wait for a quiet line sees it.
constexpr int kLateReplyMs = kSoakReplyTimeoutMs * 7 / 5;

// True for an answer that comes after the reply timeout.
bool IsLateReply(const sim::FaultAction& action);

// What one attempt comes to in the driver: 0 a good reply, 1 a refusal,
// checksum error or exception, 2 nothing (or too little) in time or
// exception 4, 3 a wrong frame.
enum AttemptOutcome : int { kAttemptOk = 0, kAttemptFailed = 1, kAttemptTransport = 2, kAttemptWrong = 3 };

// The simulator's correct answer to a request, without faults: its length
// with CRC, or the exception it refuses the request with.
struct NaturalAnswer {
  int length = 0;
  int exception = 0;  // 0: a normal answer
  bool writeEcho = false;
};

NaturalAnswer NaturalAnswerTo(const std::vector<uint8_t>& request);
AttemptOutcome OutcomeOf(const sim::FaultAction& action, const NaturalAnswer& natural);

// Consecutive identical requests: one request and its retries.
struct RequestRun {
  std::vector<uint8_t> frame;
  int count = 0;
};

// Walks the logged requests of one command in order.
class RequestCursor {
 public:
  explicit RequestCursor(std::vector<sim::LoggedRequest> log) : log_(std::move(log)) {}

  bool Done() const { return next_ >= log_.size(); }
  size_t used() const { return next_; }
  size_t size() const { return log_.size(); }
  // Whether any write request taken was carried out by the device.
  bool carriedOut() const { return carriedOut_; }
  const std::vector<uint8_t>& LastFrame() const { return log_[next_ - 1].frame; }
  // Whether any request was answered late. Then which attempt receives
  // which answer is a matter of timing, and the retry schemes below do not
  // tell the result: the transfer may succeed (with its own data) or fail.
  bool AnyLate() const;
  // Whether the device carried out any write request of the log.
  bool AnyWriteCarriedOut() const;
  // The log as runs of one request each.
  std::vector<RequestRun> Runs() const;
  // The logged fault actions, for a mismatch report.
  std::string Describe() const;

  // The read retry scheme (3 counted attempts, 9 more after wrong frames);
  // -1 when the log holds fewer requests than the scheme sends.
  int Read();
  // The write scheme: up to 10 attempts.
  int Write();

 private:
  AttemptOutcome Take();

  std::vector<sim::LoggedRequest> log_;
  size_t next_ = 0;
  bool carriedOut_ = false;
  bool shortOfRequests_ = false;
};
