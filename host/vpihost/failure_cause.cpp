#include "host/vpihost/failure_cause.h"

namespace {

struct EventCause {
  JournalEvent event;
  FailureCause cause;
};

const EventCause kEventCauses[] = {
    {JournalEvent::kSilence, FailureCause::kNoReply},
    {JournalEvent::kBadCrc, FailureCause::kBadCrc},
    {JournalEvent::kWrongStation, FailureCause::kWrongStation},
    {JournalEvent::kWrongFrame, FailureCause::kWrongFrame},
    {JournalEvent::kException, FailureCause::kException},
    {JournalEvent::kEchoCollision, FailureCause::kEchoCollision},
    {JournalEvent::kEchoMissing, FailureCause::kNoEcho},
    {JournalEvent::kSendFailed, FailureCause::kSendFailed},
    {JournalEvent::kSkipped, FailureCause::kDemoted},
};

// By cause, in the enum's order.
const char* const kCauseTexts[] = {
    "",
    "no reply",
    "bad CRC",
    "wrong station",
    "wrong frame",
    "exception",
    "echo collision",
    "no echo",
    "send failure",
    "station demoted",
    "port closed",
    "port failure",
    "refused by the driver",
};
static_assert(sizeof kCauseTexts / sizeof kCauseTexts[0] == static_cast<size_t>(FailureCause::kRefused) + 1);

// The exception codes' names in the protocol, by code.
const char* const kExceptionNames[] = {
    nullptr,
    "illegal function",
    "illegal data address",
    "illegal data value",
    "server device failure",
    "acknowledge",
    "server device busy",
    "negative acknowledge",
    "memory parity error",
};
static_assert(sizeof kExceptionNames / sizeof kExceptionNames[0] == kLastNamedExceptionCode + 1);

}  // namespace

TransferCause CauseOf(const TransferJournal& journal, int32_t result, bool portClosed) {
  if (result == 0) return {};
  if (portClosed) return {FailureCause::kPortClosed};
  const JournalMeaning last = journal.LastFailure();
  for (const EventCause& entry : kEventCauses) {
    if (entry.event == last.event) return {entry.cause, last.exceptionCode};
  }
  return {result == 2 ? FailureCause::kPortFailed : FailureCause::kRefused};
}

std::string CauseText(const TransferCause& cause) {
  const std::string text = kCauseTexts[static_cast<size_t>(cause.cause)];
  if (cause.cause != FailureCause::kException) return text;
  if (cause.exceptionCode < 1 || cause.exceptionCode > kLastNamedExceptionCode) {
    return text + " (a code past " + std::to_string(kLastNamedExceptionCode) + ")";
  }
  return text + " " + std::to_string(cause.exceptionCode) + " (" + kExceptionNames[cause.exceptionCode] + ")";
}
