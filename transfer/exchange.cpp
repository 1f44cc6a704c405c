#include "transfer/exchange.h"

#include "entry/host_library.h"
#include "serial/port.h"

namespace {

constexpr int kReadAttempts = 3;
constexpr int kReadWrongReplyTries = 9;
constexpr int kWriteAttempts = 10;

// The read's journal: the retry number counts counted attempts only.
int ReadRetry(const ExchangeState& state) { return kReadAttempts - state.countedLeft; }

void ReadRetrying(const ExchangeState& state) {
  if (state.attempt == 1) err(kLogDetail, "DoRead() : len=%d", state.requestLength);
  // Logged before the attempt is taken from the budget.
  err(kLogDetail, "DoRead() : sRetry=%d, reply_len=%d", state.countedLeft, state.replyLength);
}

void ReadWrongReplyRetry(int triesLeft) { err(kLogDetail, "Wrong receive (still %d tries)", triesLeft); }

void ReadAttemptFailed(FrameOutcome outcome, const ExchangeState& state) {
  switch (outcome) {
    case FrameOutcome::kNotSent:
      err(kLogDetail, "KOVRIN> DoRead() error sending request, retry %d", ReadRetry(state));
      return;
    case FrameOutcome::kRefused:
    case FrameOutcome::kTransport:
      err(kLogDetail, "KOVRIN> DoRead() error reading reply, retry %d", ReadRetry(state));
      return;
    case FrameOutcome::kBadCrc:
      err(kLogDetail, "KOVRIN> DoRead() crc error, retry %d", ReadRetry(state));
      return;
    case FrameOutcome::kException:
      // Said once while exceptions follow one another.
      if (LoadLastError() != kLastErrorException) {
        err(kLogDetail, "KOVRIN> DoRead() received 0x80 error code");
      }
      StoreLastError(kLastErrorException);
      return;
    case FrameOutcome::kWrong:
    case FrameOutcome::kGood:
      return;
  }
}

void WriteRetrying(const ExchangeState& state) { err(kLogTrace, "DORZA, Do write, retry %d", state.attempt); }

void WriteAttemptFailed(FrameOutcome outcome, const ExchangeState& state) {
  switch (outcome) {
    case FrameOutcome::kWrong:
      err(kLogTrace, "DORZA: error in reply to Do Write");
      err(kLogTrace, "DORZA: DOWrite() Wrong Receive");
      return;
    case FrameOutcome::kRefused:
    case FrameOutcome::kTransport:
      err(kLogTrace, "DORZA: error in reply to Do Write");
      err(kLogMajor, "KOVRIN> DoWrite() receive error, retry %d", state.attempt);
      return;
    case FrameOutcome::kBadCrc:
      err(kLogTrace, "Error in CRC");
      err(kLogMajor, "KOVRIN> DoWrite() error in crc, retry %d", state.attempt);
      return;
    case FrameOutcome::kException:
      err(kLogMajor, "KOVRIN> DoWrite() plc sent 0x80 => error");
      err(kLogTrace, "DORZA: reply buff1 = %x", state.reply[1]);
      return;
    case FrameOutcome::kNotSent:  // the write waits for the reply all the same
    case FrameOutcome::kGood:
      return;
  }
}

const ExchangeEvents kReadEvents = {ReadRetrying, ReadWrongReplyRetry, ReadAttemptFailed};
const ExchangeEvents kWriteEvents = {WriteRetrying, nullptr, WriteAttemptFailed};

FrameOutcome OutcomeOf(FrameResult received) {
  switch (received) {
    case FrameResult::kDone:
      return FrameOutcome::kGood;
    case FrameResult::kRefused:
      return FrameOutcome::kRefused;
    case FrameResult::kTransport:
      return FrameOutcome::kTransport;
    case FrameResult::kWrong:
      return FrameOutcome::kWrong;
  }
  return FrameOutcome::kWrong;
}

// One request and its reply.
inline __attribute__((always_inline)) FrameOutcome Attempt(VpiInstance* instance, int length,
                                                           const ExpectedReply& expected,
                                                           const RetryPolicy& policy, int* replyLength) {
  const SendResult sent = SendRequest(instance, instance->txBuffer, length);
  if (sent != SendResult::kSent && policy.unsentEndsAttempt) return FrameOutcome::kNotSent;
  const FrameOutcome outcome =
      OutcomeOf(ReceiveFrame(instance->portHandle, expected, instance->rxBuffer, replyLength));
  if (outcome != FrameOutcome::kGood) return outcome;
  if (!FrameCrcMatches(instance->rxBuffer, *replyLength)) return FrameOutcome::kBadCrc;
  if (instance->rxBuffer[1] & kExceptionBit) return FrameOutcome::kException;
  return FrameOutcome::kGood;
}

}  // namespace

const RetryPolicy kReadRetryPolicy = {kReadAttempts, kReadWrongReplyTries, false, true, &kReadEvents};
const RetryPolicy kWriteRetryPolicy = {kWriteAttempts, 0, true, false, &kWriteEvents};

DriverResult DriverResultFor(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::kGood:
      return kResultDone;
    case FrameOutcome::kNotSent:
    case FrameOutcome::kTransport:
      return kResultTransport;
    case FrameOutcome::kRefused:
    case FrameOutcome::kWrong:
    case FrameOutcome::kBadCrc:
    case FrameOutcome::kException:
      return kResultFailed;
  }
  return kResultFailed;
}

FrameLine FrameLineOf(const VpiInstance& instance) {
  return FrameLine{instance.portHandle, instance.IFG_MS, instance.IFG, instance.RTSCTS != 0};
}

SendResult SendRequestFrame(VpiInstance* instance, uint8_t* frame, int length) {
  const SendResult sent = SendFrame(FrameLineOf(*instance), frame, length);
  if (sent != SendResult::kSent) StoreLastError(kLastErrorSendFailed);
  return sent;
}

SendResult SendRequest(VpiInstance* instance, uint8_t* frame, int length) {
  DrainInput(instance->portHandle);
  return SendRequestFrame(instance, frame, length);
}

namespace {

// The exchange after its first attempt failed with outcome: the retries the
// policy allows. Out of line, so that a transaction answered at once does
// not set up the retry loop.
__attribute__((noinline)) DriverResult Retry(VpiInstance* instance, int length, const ExpectedReply& expected,
                                             const RetryPolicy& policy, FrameOutcome outcome, int replyLen,
                                             int* replyLength) {
  const ExchangeEvents& events = *policy.events;
  int countedLeft = policy.countedAttempts - 1;  // the first attempt always counts
  int wrongLeft = policy.wrongReplyTries;
  events.attemptFailed(outcome, ExchangeState{0, countedLeft, length, replyLen, instance->rxBuffer});
  for (int attempt = 1; countedLeft != 0 && outcome != FrameOutcome::kGood; ++attempt) {
    events.retrying(ExchangeState{attempt, countedLeft, length, replyLen, instance->rxBuffer});
    if (outcome == FrameOutcome::kWrong && !policy.wrongRepliesCounted) {
      if (wrongLeft == 0) break;
      events.wrongReplyRetry(wrongLeft);
      --wrongLeft;
    } else {
      --countedLeft;
    }
    outcome = Attempt(instance, length, expected, policy, &replyLen);
    if (outcome != FrameOutcome::kGood) {
      events.attemptFailed(outcome,
                           ExchangeState{attempt, countedLeft, length, replyLen, instance->rxBuffer});
    }
  }
  *replyLength = replyLen;
  return DriverResultFor(outcome);
}

}  // namespace

DriverResult Exchange(VpiInstance* instance, int length, const ExpectedReply& expected,
                      const RetryPolicy& policy, int* replyLength) {
  StoreLastError(0);
  int replyLen = 0;
  const FrameOutcome outcome = Attempt(instance, length, expected, policy, &replyLen);
  if (outcome != FrameOutcome::kGood) {
    return Retry(instance, length, expected, policy, outcome, replyLen, replyLength);
  }
  *replyLength = replyLen;
  return kResultDone;
}
