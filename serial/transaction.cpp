#include "serial/transaction.h"

#include <cstring>

#include "host_interface/instance.h"
#include "host_interface/journal.h"
#include "serial/line.h"
#include "serial/line_clock.h"
#include "serial/port.h"

namespace kovrin {

namespace {

constexpr int kEchoOffset = 2;  // address and value or quantity; report code and packet number
constexpr int kEchoLength = 4;
// The drain and the quiet wait go on while bytes keep coming, but not for
// ever: a line that never falls quiet is left after this many silences.
constexpr uint32_t kMaxQuietRounds = 64;

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

bool EchoMatches(const uint8_t* request, const uint8_t* reply) {
  for (int i = kEchoOffset; i < kEchoOffset + kEchoLength; ++i) {
    if (request[i] != reply[i]) return false;
  }
  return true;
}

// The echo of the request a 2-wire line hands back before the reply: the
// request byte for byte, within its own wire time and the reply timeout
// (every read's bound). Anything else collided with another sender.
FrameOutcome ReceiveEcho(const FrameLine& line, const uint8_t* request, int frameLength, uint8_t* echo) {
  DWORD got = 0;
  if (ReadBytes(line.port, echo, static_cast<DWORD>(frameLength), &got) != PortResult::kDone) {
    err(kLogDetail, "KOVRIN> Send() no echo of the request (iRead=%d)", 0);
    return FrameOutcome::kEchoFailed;
  }
  if (got != static_cast<DWORD>(frameLength) || std::memcmp(echo, request, got) != 0) {
    err(kLogDetail, "KOVRIN> Send() echo differs from the request: collision on the line");
    return FrameOutcome::kEchoFailed;
  }
  return FrameOutcome::kGood;
}

// A read's reply that did not check out (it ended so), on a line that may
// echo: when what came begins with the whole request, the line echoes. The
// echo is read to its end and the reply received after it; an echo read on
// into the reply leaves this attempt failed (the next one reads the echo
// first). Anything else ends as it did.
FrameOutcome ReceiveAfterEcho(const FrameLine& line, const uint8_t* request, int frameLength,
                              const ExpectedReply& expected, FrameOutcome ended, uint8_t* reply,
                              int* replyLength, bool* echoFound) {
  const int got = *replyLength;
  // The station and function alone are what any reply begins with.
  if (got < 3 ||
      std::memcmp(reply, request, static_cast<size_t>(got < frameLength ? got : frameLength)) != 0) {
    return ended;
  }
  if (got < frameLength) {
    DWORD rest = 0;
    const DWORD missing = static_cast<DWORD>(frameLength - got);
    if (ReadBytes(line.port, reply + got, missing, &rest) != PortResult::kDone || rest != missing ||
        std::memcmp(reply + got, request + got, missing) != 0) {
      return ended;
    }
  }
  *echoFound = true;
  if (got > frameLength) return FrameOutcome::kWrong;
  *replyLength = 0;
  return OutcomeOf(ReceiveFrame(line.port, expected, reply, replyLength));
}

// The reply's frame checks: its CRC, the exception bit, the echoed fields.
__attribute__((always_inline)) inline FrameOutcome CheckReply(const uint8_t* request,
                                                              const ExpectedReply& expected,
                                                              const uint8_t* reply, int replyLength) {
  if (!FrameCrcMatches(reply, replyLength)) return FrameOutcome::kBadCrc;
  if (reply[1] & kExceptionBit) return FrameOutcome::kException;
  if (expected.echoesRequest && !EchoMatches(request, reply)) {
    err(kLogDetail, "KOVRIN> Receive() reply echoes %02x%02x %02x%02x, request %02x%02x %02x%02x", reply[2],
        reply[3], reply[4], reply[5], request[2], request[3], request[4], request[5]);
    return FrameOutcome::kWrong;
  }
  return FrameOutcome::kGood;
}

}  // namespace

void KeepFrameSilence(const FrameLine& line) {
  const uint64_t busyAtUs = LineBusyAtUs(line.port);
  if (busyAtUs != 0) {
    const uint64_t quietAtUs = busyAtUs + FrameSilenceUs(line.baud);
    const uint64_t nowUs = LineClockUs();
    if (nowUs != 0 && nowUs < quietAtUs) {
      CurrentLine().sleep(static_cast<DWORD>((quietAtUs - nowUs + 999) / 1000));
    }
  }
  DrainLine(line.port, line.baud, line.replyTimeoutMs);
}

SendResult SendUnanswered(const FrameLine& line, uint8_t* request, int length) {
  KeepFrameSilence(line);
  // The devices' time starts once the frame has left the line.
  SendResult sent = SendFrame(line, request, length, SendEnd::kOnWire);
  if (sent == SendResult::kSent && line.echo == LineEcho::kEchoes) {
    uint8_t echo[kFrameBufferSize];
    if (ReceiveEcho(line, request, length + kCrcLength, echo) != FrameOutcome::kGood) {
      sent = SendResult::kNotSent;
    }
  }
  NoteLineBusy(line.port);
  return sent;
}

FrameOutcome Transact(const FrameLine& line, uint8_t* request, int length, const ExpectedReply& expected,
                      uint8_t* reply, int* replyLength, bool unsentEndsAttempt, bool* echoFound) {
  *replyLength = 0;
  KeepFrameSilence(line);
  const SendResult sent = SendFrame(line, request, length);
  if (sent != SendResult::kSent && unsentEndsAttempt) {
    NoteLineBusy(line.port);
    return FrameOutcome::kNotSent;
  }
  const int frameLength = length + kCrcLength;
  if (sent == SendResult::kSent && line.echo == LineEcho::kEchoes) {
    const FrameOutcome echo = ReceiveEcho(line, request, frameLength, reply);
    if (echo != FrameOutcome::kGood) {
      NoteLineBusy(line.port);
      return echo;
    }
  }
  FrameOutcome outcome = OutcomeOf(ReceiveFrame(line.port, expected, reply, replyLength));
  if (outcome == FrameOutcome::kGood) outcome = CheckReply(request, expected, reply, *replyLength);
  // A write's correct reply is its request: only a read's tells an echo.
  if (outcome != FrameOutcome::kGood && line.echo == LineEcho::kLearn &&
      expected.shape != ReplyShape::kWriteEcho && echoFound != nullptr) {
    outcome = ReceiveAfterEcho(line, request, frameLength, expected, outcome, reply, replyLength, echoFound);
    if (outcome == FrameOutcome::kGood) outcome = CheckReply(request, expected, reply, *replyLength);
  }
  NoteLineBusy(line.port);
  return outcome;
}

void AwaitQuietLine(const FrameLine& line, uint32_t quietMs) {
  const uint32_t discarded = DrainUntilQuiet(line.port, quietMs, kMaxQuietRounds);
  if (discarded != 0) {
    err(kLogDetail, "KOVRIN> %u bytes of late replies discarded", static_cast<unsigned>(discarded));
  }
}

}  // namespace kovrin
