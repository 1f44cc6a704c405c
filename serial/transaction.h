// One whole attempt: the line quiet and drained, the request sent, its reply received
// and checked in every field it gives back. The transactions above decide
// only whether to try again and what the reply's data mean.
#pragma once

#include <cstdint>

#include "serial/frame.h"

namespace kovrin {

// How one request-and-reply ended.
enum class FrameOutcome {
  kGood,        // the reply to this request: CRC right, no exception, every echo matches
  kNotSent,     // the request did not go out
  kRefused,     // an exception reply that refuses the request (codes 2, 3, 5)
  kTransport,   // nothing or too little in time, or exception code 4
  kWrong,       // another station, function, byte count or echo, or a short frame
  kBadCrc,      // a whole reply with a wrong CRC
  kException,   // any other exception reply
  kEchoFailed,  // the line's echo of the request was missing or not the request
};

// True when bytes of a reply may still be on their way after an attempt
// that ended so: it got no whole valid reply to its request.
inline bool RepliesMayFollow(FrameOutcome outcome) {
  return outcome == FrameOutcome::kTransport || outcome == FrameOutcome::kWrong ||
         outcome == FrameOutcome::kBadCrc || outcome == FrameOutcome::kEchoFailed;
}

// The request's length bytes (room for the CRC after them) on the line;
// the reply goes to reply, its length to *replyLength. A request that did
// not go out ends the attempt when unsentEndsAttempt is set; otherwise the
// reply is still waited for. On a line that echoes, the echo is read and
// checked first; on one that may (LineEcho::kLearn), *echoFound is set when
// a read's reply began with the request itself, which is then dropped.
FrameOutcome Transact(const FrameLine& line, uint8_t* request, int length, const ExpectedReply& expected,
                      uint8_t* reply, int* replyLength, bool unsentEndsAttempt, bool* echoFound = nullptr);

// Before a request: keeps the protocol's silence since the line's last byte
// (time the host spent since counts), then drains the input.
void KeepFrameSilence(const FrameLine& line);

// A request nobody answers (a broadcast): the silence kept, the request
// sent; returns once it has left the line, whose last byte it then is.
SendResult SendUnanswered(const FrameLine& line, uint8_t* request, int length);

// After a transaction whose attempts left replies on their way: waits until
// the line has been quiet for quietMs, throwing away (and logging) whatever
// arrives, so that no late reply meets a later request.
void AwaitQuietLine(const FrameLine& line, uint32_t quietMs);

}  // namespace kovrin
