#include "tests/reliability/soak_model.h"

namespace {

uint16_t Word(const std::vector<uint8_t>& frame, size_t at) {
  return static_cast<uint16_t>((frame[at] << 8) | frame[at + 1]);
}

AttemptOutcome ExceptionOutcome(int code) { return code == 4 ? kAttemptTransport : kAttemptFailed; }

bool CarriesOut(const sim::LoggedRequest& request) {
  const NaturalAnswer natural = NaturalAnswerTo(request.frame);
  return natural.writeEcho && natural.exception == 0 && request.action.kind != sim::FaultKind::kException;
}

}  // namespace

bool IsLateReply(const sim::FaultAction& action) {
  return action.kind == sim::FaultKind::kDelay && action.value > kSoakReplyTimeoutMs;
}

NaturalAnswer NaturalAnswerTo(const std::vector<uint8_t>& request) {
  NaturalAnswer natural;
  const uint8_t function = request[1];
  const uint16_t quantity = Word(request, 4);
  switch (function) {
    case 1:
    case 2:
      natural.length = 5 + (quantity + 7) / 8;
      break;
    case 3:
    case 4:
      natural.length = 5 + 2 * quantity;
      break;
    case 65:
      natural.length = static_cast<int>(sim::kReportReplyLength);
      break;
    case 16:
      // A 32-bit block carries the value count as its quantity and four
      // bytes a value: a device refuses the byte count.
      natural.writeEcho = true;
      natural.length = 8;
      if (request[6] != 2 * quantity) natural.exception = 3;
      break;
    default:  // 5, 6, 15
      natural.writeEcho = true;
      natural.length = 8;
      break;
  }
  if (natural.exception != 0) natural.length = 5;
  return natural;
}

AttemptOutcome OutcomeOf(const sim::FaultAction& action, const NaturalAnswer& natural) {
  const bool refused = natural.exception != 0;
  switch (action.kind) {
    case sim::FaultKind::kSilent:
      return kAttemptTransport;
    case sim::FaultKind::kWrongSlave:
    case sim::FaultKind::kGarbage:  // its bytes are never a slave address
      return kAttemptWrong;
    case sim::FaultKind::kException:
      return ExceptionOutcome(action.value);
    case sim::FaultKind::kWrongFunction:
      // An exception answer keeps its exception bit and is still taken as one.
      return refused ? ExceptionOutcome(natural.exception) : kAttemptWrong;
    case sim::FaultKind::kBadCrc:
      return refused ? ExceptionOutcome(natural.exception) : kAttemptFailed;
    case sim::FaultKind::kTruncate: {
      const int kept = action.value;
      if (kept >= natural.length) break;
      if (kept == 0 || kept == 2) return kAttemptTransport;  // the next read gets nothing
      if (kept == 1) return kAttemptWrong;                   // only the slave address
      // A read reply's byte count alone: the rest never comes.
      if (kept == 3 && !refused && !natural.writeEcho && natural.length != 136) return kAttemptTransport;
      return kAttemptWrong;
    }
    case sim::FaultKind::kDelay:
      // Too late for its attempt; what it does to the next one is timing.
      if (IsLateReply(action)) return kAttemptTransport;
      break;
    default:  // correct, split: the whole answer in time
      break;
  }
  return refused ? ExceptionOutcome(natural.exception) : kAttemptOk;
}

AttemptOutcome RequestCursor::Take() {
  if (Done()) {
    shortOfRequests_ = true;
    return kAttemptOk;
  }
  const sim::LoggedRequest& request = log_[next_++];
  if (CarriesOut(request)) carriedOut_ = true;
  return OutcomeOf(request.action, NaturalAnswerTo(request.frame));
}

int RequestCursor::Read() {
  int sRetry = 3;
  int wrongLeft = 9;
  int result = 0;
  bool first = true;
  for (;;) {
    if (!first && result == kAttemptWrong) {
      if (wrongLeft == 0) break;
      --wrongLeft;
    } else {
      --sRetry;
    }
    first = false;
    result = Take();
    if (shortOfRequests_) return -1;
    if (sRetry == 0 || result == kAttemptOk) break;
  }
  return result == kAttemptWrong ? 1 : result;
}

int RequestCursor::Write() {
  int result = 0;
  for (int attempt = 0; attempt < 10; ++attempt) {
    result = Take();
    if (shortOfRequests_) return -1;
    if (result == kAttemptOk) break;
  }
  return result == kAttemptWrong ? 1 : result;
}

bool RequestCursor::AnyLate() const {
  for (const sim::LoggedRequest& request : log_) {
    if (request.fate == sim::RequestFate::kServed && IsLateReply(request.action)) return true;
  }
  return false;
}

bool RequestCursor::AnyWriteCarriedOut() const {
  for (const sim::LoggedRequest& request : log_) {
    if (CarriesOut(request)) return true;
  }
  return false;
}

std::vector<RequestRun> RequestCursor::Runs() const {
  std::vector<RequestRun> runs;
  for (const sim::LoggedRequest& request : log_) {
    if (runs.empty() || runs.back().frame != request.frame) runs.push_back(RequestRun{request.frame, 0});
    ++runs.back().count;
  }
  return runs;
}

std::string RequestCursor::Describe() const {
  std::string text;
  for (const sim::LoggedRequest& request : log_) {
    if (!text.empty()) text += ", ";
    text += sim::FormatFault(request.action) + " (function " + std::to_string(request.frame[1]) + ")";
  }
  return text;
}
