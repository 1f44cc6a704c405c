// How a read, write or report transaction ended; the handlers map it to the
// host's result code.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"

namespace kovrin {

enum class TransferResult {
  kDone,       // the reply to the request arrived and was used
  kFailed,     // refused before sending, or wrong replies, CRC errors or exceptions to the end
  kTransport,  // nothing went out, or nothing came back
};

// The host's result code for a transaction that ended so.
inline int32_t HostResultOf(TransferResult result) {
  switch (result) {
    case TransferResult::kDone:
      return kResultDone;
    case TransferResult::kFailed:
      return kResultFailed;
    case TransferResult::kTransport:
      return kResultTransport;
  }
  return kResultFailed;
}

}  // namespace kovrin
