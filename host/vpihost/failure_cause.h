// Why a transfer failed, told from the driver's journal of that transfer:
// the result code says how it ended, the journal what went wrong on the line.
#pragma once

#include <cstdint>
#include <string>

#include "host/vpihost/stations.h"

enum class FailureCause {
  kNone,     // the transfer worked
  kNoReply,  // the station sent not a byte
  kBadCrc,
  kWrongStation,  // another station answered
  kWrongFrame,    // a reply of another function or size, or cut short
  kException,     // the station refused with an exception reply
  kEchoCollision,
  kNoEcho,
  kSendFailed,  // the request did not go out: the port failed
  kDemoted,     // the station is left out for a while: nothing was sent
  kPortClosed,  // vpihost closed the port after a failure and could not reopen it yet
  kPortFailed,  // a transport failure the journal says nothing more of
  kRefused,     // the driver refused the transfer before sending it
};

struct TransferCause {
  FailureCause cause = FailureCause::kNone;
  int exceptionCode = kOtherExceptionCode;  // for kException
};

// The last reason an attempt failed decides: the retries before it were
// overtaken by it. portClosed: the transfer was made while the port was closed.
TransferCause CauseOf(const TransferJournal& journal, int32_t result, bool portClosed);
// "no reply", "exception 2 (illegal data address)"; empty for kNone.
std::string CauseText(const TransferCause& cause);
