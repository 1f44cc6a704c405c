// The one exchange of the transfers: send a request, receive its reply, and
// retry by a policy. Reads, writes and report packets all go through it.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "serial/frame.h"
#include "serial/transaction.h"
#include "transfer/transfer_result.h"

namespace kovrin {

// How an exchange whose last attempt ended so went.
TransferResult TransferResultFor(FrameOutcome outcome);

// Where an exchange stands when a step is reported.
struct ExchangeState {
  int attempt;        // 0 for the first attempt
  int countedLeft;    // counted attempts still to make
  int requestLength;  // without the CRC
  int replyLength;    // bytes of the last reply read
  const uint8_t* reply;
};

// What the transaction says at each step of its exchange (its journal lines,
// and the last-error indicator the reads keep).
struct ExchangeEvents {
  void (*retrying)(const ExchangeState& state);
  void (*wrongReplyRetry)(int triesLeft);
  void (*attemptFailed)(FrameOutcome outcome, const ExchangeState& state);
};

struct RetryPolicy {
  int countedAttempts;
  // Further attempts after wrong replies, beside the counted ones; once they
  // are spent a wrong reply ends the exchange. Unused when wrong replies are
  // counted like any other failure.
  int wrongReplyTries;
  bool wrongRepliesCounted;
  // A request that did not go out ends its attempt; otherwise the reply is
  // still waited for (and its absence shows as the failure).
  bool unsentEndsAttempt;
  const ExchangeEvents* events;
};

// Reads: 3 counted attempts and up to 9 more after wrong replies.
extern const RetryPolicy kReadRetryPolicy;
// Writes: 10 attempts, whatever went wrong.
extern const RetryPolicy kWriteRetryPolicy;

// The request in the instance's txBuffer (length bytes, room for the CRC
// after them) against its expected reply. On kDone the reply is in rxBuffer
// and *replyLength holds its length. When an attempt got no whole valid
// reply, late replies may still come: before returning, the exchange waits
// for the line to fall quiet, so that none reaches the next request.
TransferResult Exchange(VpiInstance* instance, int length, const ExpectedReply& expected,
                        const RetryPolicy& policy, int* replyLength);

// Sends a request frame on the instance's line; sets the last-error
// indicator when it did not go out.
SendResult SendRequestFrame(VpiInstance* instance, uint8_t* frame, int length);
// The same for a request nobody answers, after the silence and the drain
// every request goes out with.
SendResult SendRequest(VpiInstance* instance, uint8_t* frame, int length);

// The expected reply to a request built for the gate. writing: the request
// is a write, answered by an echo of its address and value or quantity. A
// report packet echoes its report code and packet number; a read's byte
// count follows from the quantity asked. Inline: every transfer asks.
inline ExpectedReply ExpectedReplyFor(const GateTransfer* gate, const uint8_t* request, bool writing) {
  const uint8_t function = request[1];
  ReplyShape shape = writing ? ReplyShape::kWriteEcho : ReplyShape::kByteCount;
  if (gate->memoryType == kMemReport && function == kFunctionReport) shape = ReplyShape::kReport;
  const uint32_t quantity = (static_cast<uint32_t>(request[4]) << 8) | request[5];
  const uint32_t dataBytes = function == 1 || function == 2 ? (quantity + 7) / 8 : quantity * 2;
  return ExpectedReply{static_cast<uint8_t>(gate->plc), function, shape,
                       static_cast<uint8_t>(dataBytes > 255 ? 0 : dataBytes),
                       shape != ReplyShape::kByteCount};
}

// The line and send options of the instance.
FrameLine FrameLineOf(const VpiInstance& instance);

}  // namespace kovrin
