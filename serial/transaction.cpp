#include "serial/transaction.h"

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
  const SendResult sent = SendFrame(line, request, length, SendEnd::kOnWire);
  NoteLineBusy(line.port);
  return sent;
}

FrameOutcome Transact(const FrameLine& line, uint8_t* request, int length, const ExpectedReply& expected,
                      uint8_t* reply, int* replyLength, bool unsentEndsAttempt) {
  *replyLength = 0;
  KeepFrameSilence(line);
  const SendResult sent = SendFrame(line, request, length);
  if (sent != SendResult::kSent && unsentEndsAttempt) {
    NoteLineBusy(line.port);
    return FrameOutcome::kNotSent;
  }
  const FrameOutcome outcome = OutcomeOf(ReceiveFrame(line.port, expected, reply, replyLength));
  NoteLineBusy(line.port);
  if (outcome != FrameOutcome::kGood) return outcome;
  if (!FrameCrcMatches(reply, *replyLength)) return FrameOutcome::kBadCrc;
  if (reply[1] & kExceptionBit) return FrameOutcome::kException;
  if (expected.echoesRequest && !EchoMatches(request, reply)) {
    err(kLogDetail, "KOVRIN> Receive() reply echoes %02x%02x %02x%02x, request %02x%02x %02x%02x", reply[2],
        reply[3], reply[4], reply[5], request[2], request[3], request[4], request[5]);
    return FrameOutcome::kWrong;
  }
  return FrameOutcome::kGood;
}

void AwaitQuietLine(const FrameLine& line, uint32_t quietMs) {
  const uint32_t discarded = DrainUntilQuiet(line.port, quietMs, kMaxQuietRounds);
  if (discarded != 0) {
    err(kLogDetail, "KOVRIN> %u bytes of late replies discarded", static_cast<unsigned>(discarded));
  }
}

}  // namespace kovrin
