#include "transfer/exchange.h"

#include "host_interface/host_library.h"
#include "serial/line_clock.h"
#include "serial/port.h"
#include "transfer/station_health.h"

namespace kovrin {

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
    case FrameOutcome::kEchoFailed:
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
    case FrameOutcome::kNotSent:     // the write waits for the reply all the same
    case FrameOutcome::kEchoFailed:  // said as it was found
    case FrameOutcome::kGood:
      return;
  }
}

const ExchangeEvents kReadEvents = {ReadRetrying, ReadWrongReplyRetry, ReadAttemptFailed};
const ExchangeEvents kWriteEvents = {WriteRetrying, nullptr, WriteAttemptFailed};

// What the attempts of one exchange heard of its station.
struct Hearing {
  bool accepted = false;  // a reply the frame layer accepts, an exception included
  bool garbled = false;   // bytes from the station, but no reply to accept
  bool silence = false;   // a request that went out and heard nothing at all
};

// An exception reply read whole, whatever its code made of it.
bool WholeException(const uint8_t* reply, int length) {
  return length == 5 && (reply[1] & kExceptionBit) != 0 && FrameCrcMatches(reply, length);
}

void Hear(Hearing* hearing, FrameOutcome outcome, const uint8_t* reply, int length, uint8_t station) {
  switch (outcome) {
    case FrameOutcome::kGood:
    case FrameOutcome::kException:
      hearing->accepted = true;
      return;
    case FrameOutcome::kRefused:
    case FrameOutcome::kTransport:
      if (length == 0) {
        hearing->silence = true;
      } else if (WholeException(reply, length)) {
        hearing->accepted = true;
      } else {
        hearing->garbled = true;
      }
      return;
    case FrameOutcome::kWrong:
    case FrameOutcome::kBadCrc:
      // Another station's reply says nothing of this one.
      if (length > 0 && reply[0] == station) hearing->garbled = true;
      return;
    case FrameOutcome::kNotSent:
    case FrameOutcome::kEchoFailed:
      return;
  }
}

StationHeard HeardOf(const Hearing& hearing) {
  if (hearing.accepted) return StationHeard::kAccepted;
  if (hearing.garbled) return StationHeard::kGarbled;
  if (hearing.silence) return StationHeard::kSilence;
  return StationHeard::kNothing;
}

// The line echoes: from now on its echo is read before each reply.
void EchoFound(VpiInstance* instance) {
  if ((instance->flags & kFlagEchoAuto) == 0) return;
  instance->flags = static_cast<uint16_t>((instance->flags & ~kFlagEchoAuto) | kFlagEcho);
  err(kLogMajor, "KOVRIN> line echoes its requests: echo removed from the replies");
}

// One request and its reply; with a hearing, what it heard is noted there.
inline FrameOutcome Attempt(VpiInstance* instance, int length, const ExpectedReply& expected,
                            const RetryPolicy& policy, int* replyLength, Hearing* hearing) {
  bool echoFound = false;
  const FrameOutcome outcome =
      Transact(FrameLineOf(*instance), instance->txBuffer, length, expected, instance->rxBuffer, replyLength,
               policy.unsentEndsAttempt, &echoFound);
  if (echoFound) EchoFound(instance);
  if (outcome == FrameOutcome::kNotSent || outcome == FrameOutcome::kEchoFailed) {
    StoreLastError(kLastErrorSendFailed);
  }
  if (hearing != nullptr) Hear(hearing, outcome, instance->rxBuffer, *replyLength, expected.station);
  return outcome;
}

}  // namespace

const RetryPolicy kReadRetryPolicy = {kReadAttempts, kReadWrongReplyTries, false, true, &kReadEvents};
const RetryPolicy kWriteRetryPolicy = {kWriteAttempts, 0, true, false, &kWriteEvents};

TransferResult TransferResultFor(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::kGood:
      return TransferResult::kDone;
    case FrameOutcome::kNotSent:
    case FrameOutcome::kEchoFailed:
    case FrameOutcome::kTransport:
      return TransferResult::kTransport;
    case FrameOutcome::kRefused:
    case FrameOutcome::kWrong:
    case FrameOutcome::kBadCrc:
    case FrameOutcome::kException:
      return TransferResult::kFailed;
  }
  return TransferResult::kFailed;
}

namespace {

// The echo bits of the flags are the line's echo, shifted: no branch on
// every attempt. Both bits are never set at once.
static_assert(kFlagEcho >> 6 == static_cast<int>(LineEcho::kEchoes) &&
              kFlagEchoAuto >> 6 == static_cast<int>(LineEcho::kLearn));
inline LineEcho LineEchoOf(uint16_t flags) {
  return static_cast<LineEcho>((flags & (kFlagEcho | kFlagEchoAuto)) >> 6);
}

}  // namespace

FrameLine FrameLineOf(const VpiInstance& instance) {
  const uint64_t timeoutMs = static_cast<uint64_t>(instance.replyTimeout) * 10;
  return FrameLine{instance.portHandle,
                   instance.IFG_MS,
                   instance.IFG,
                   instance.RTSCTS != 0,
                   instance.portSettings.baud,
                   timeoutMs == 0            ? kOpenReadTimeoutMs
                   : timeoutMs > 0xFFFFFFFEu ? 0xFFFFFFFEu
                                             : static_cast<uint32_t>(timeoutMs),
                   CharacterBits(instance.portSettings.dataBits, instance.portSettings.parity,
                                 instance.portSettings.stopBits),
                   LineEchoOf(instance.flags)};
}

SendResult SendRequestFrame(VpiInstance* instance, uint8_t* frame, int length) {
  const SendResult sent = SendFrame(FrameLineOf(*instance), frame, length);
  if (sent != SendResult::kSent) StoreLastError(kLastErrorSendFailed);
  return sent;
}

SendResult SendRequest(VpiInstance* instance, uint8_t* frame, int length) {
  const SendResult sent = SendUnanswered(FrameLineOf(*instance), frame, length);
  if (sent != SendResult::kSent) StoreLastError(kLastErrorSendFailed);
  return sent;
}

namespace {

// The exchange after its first attempt failed with outcome: the retries the
// policy allows. Kept out of line: a transaction answered at once then does
// not set up the retry loop (8 instructions a read, measured).
__attribute__((noinline)) TransferResult Retry(VpiInstance* instance, int length,
                                               const ExpectedReply& expected, const RetryPolicy& policy,
                                               FrameOutcome outcome, int replyLen, int* replyLength,
                                               Hearing* hearing) {
  const ExchangeEvents& events = *policy.events;
  int countedLeft = policy.countedAttempts - 1;  // the first attempt always counts
  int wrongLeft = policy.wrongReplyTries;
  events.attemptFailed(outcome, ExchangeState{0, countedLeft, length, replyLen, instance->rxBuffer});
  bool repliesMayFollow = RepliesMayFollow(outcome);
  for (int attempt = 1; countedLeft != 0 && outcome != FrameOutcome::kGood; ++attempt) {
    events.retrying(ExchangeState{attempt, countedLeft, length, replyLen, instance->rxBuffer});
    if (outcome == FrameOutcome::kWrong && !policy.wrongRepliesCounted) {
      if (wrongLeft == 0) break;
      events.wrongReplyRetry(wrongLeft);
      --wrongLeft;
    } else {
      --countedLeft;
    }
    outcome = Attempt(instance, length, expected, policy, &replyLen, hearing);
    repliesMayFollow = repliesMayFollow || RepliesMayFollow(outcome);
    if (outcome != FrameOutcome::kGood) {
      events.attemptFailed(outcome,
                           ExchangeState{attempt, countedLeft, length, replyLen, instance->rxBuffer});
    }
  }
  if (repliesMayFollow) {
    // A retry of the same request needed no wait: a late answer to it
    // carries the right data. The next request is another one. A device
    // that answers late answers every attempt: after a last attempt that
    // heard nothing, its reply may still come within the reply timeout
    // that follows; after one that heard a reply, the replies to the
    // attempts before may follow it, as late as two reply timeouts after
    // the last request went out.
    const FrameLine line = FrameLineOf(*instance);
    const bool lastHeardNothing = outcome == FrameOutcome::kTransport && replyLen == 0;
    const uint64_t twice = 2ull * line.replyTimeoutMs;
    AwaitQuietLine(line, lastHeardNothing ? line.replyTimeoutMs
                                          : static_cast<uint32_t>(twice > 0xFFFFFFFEu ? 0xFFFFFFFEu : twice));
  }
  *replyLength = replyLen;
  return TransferResultFor(outcome);
}

}  // namespace

namespace {

inline TransferResult PlainExchange(VpiInstance* instance, int length, const ExpectedReply& expected,
                                    const RetryPolicy& policy, int* replyLength) {
  int replyLen = 0;
  const FrameOutcome outcome = Attempt(instance, length, expected, policy, &replyLen, nullptr);
  if (outcome != FrameOutcome::kGood) {
    return Retry(instance, length, expected, policy, outcome, replyLen, replyLength, nullptr);
  }
  *replyLength = replyLen;
  return TransferResult::kDone;
}

// An exchange on a line whose stations are watched: a demoted station is
// left out, or probed once its period is over; how it went is recorded.
__attribute__((noinline)) TransferResult WatchedExchange(VpiInstance* instance, int length,
                                                         const ExpectedReply& expected,
                                                         const RetryPolicy& policy, int* replyLength) {
  const uint8_t station = expected.station;
  // Without a clock no period could ever end: nothing is left out.
  const uint64_t nowUs = LineClockUs();
  if (nowUs == 0) return PlainExchange(instance, length, expected, policy, replyLength);
  const uint64_t nowMs = nowUs / 1000;
  const StationTurn turn = StationTurnFor(instance, station, nowMs);
  if (turn == StationTurn::kSkip) {
    err(kLogDetail, "KOVRIN> station %u demoted, request not sent", static_cast<unsigned>(station));
    *replyLength = 0;
    return TransferResult::kTransport;
  }
  // A probe is one attempt: a station still silent costs one reply timeout
  // and the wait for its late answer, not three attempts (ten for a write).
  RetryPolicy probe = policy;
  if (turn == StationTurn::kProbe) {
    probe.countedAttempts = 1;
    probe.wrongReplyTries = 0;
  }
  const RetryPolicy& used = turn == StationTurn::kProbe ? probe : policy;
  Hearing hearing;
  int replyLen = 0;
  const FrameOutcome outcome = Attempt(instance, length, expected, used, &replyLen, &hearing);
  TransferResult result = TransferResult::kDone;
  if (outcome != FrameOutcome::kGood) {
    result = Retry(instance, length, expected, used, outcome, replyLen, &replyLen, &hearing);
  }
  *replyLength = replyLen;
  const uint64_t endUs = LineClockUs();
  RecordStation(instance, station, turn, HeardOf(hearing), endUs != 0 ? endUs / 1000 : nowMs);
  return result;
}

}  // namespace

TransferResult Exchange(VpiInstance* instance, int length, const ExpectedReply& expected,
                        const RetryPolicy& policy, int* replyLength) {
  StoreLastError(0);
  if ((instance->flags & kFlagStationWatch) != 0 && expected.station != 0) {
    return WatchedExchange(instance, length, expected, policy, replyLength);
  }
  return PlainExchange(instance, length, expected, policy, replyLength);
}

}  // namespace kovrin
