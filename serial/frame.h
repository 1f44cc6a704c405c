// One RTU frame each way: SendFrame ("Send()") and ReceiveFrame ("Receive()").
// The frame layer knows nothing of the host's records: the caller says what
// line to use and what reply to expect.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "serial/crc16.h"

namespace kovrin {

enum class SendResult { kSent, kNotSent };

// When SendFrame returns: once the write call did (the reply's wait then
// starts), or once the frame's last bit is due on the wire.
enum class SendEnd { kWritten, kOnWire };

enum class FrameResult {
  kDone,       // a whole frame: check CRC and exception bit
  kRefused,    // exception code 2, 3 or 5
  kTransport,  // nothing arrived in time, or exception code 4
  kWrong,      // wrong station, wrong function, or a short frame
};

// How the rest of a reply is delimited once its station and function are in.
enum class ReplyShape {
  kByteCount,  // a byte count, that many data bytes, CRC (reads)
  kWriteEcho,  // address, value or quantity, CRC (writes)
  kReport,     // report code, packet number, 128 text bytes, CRC (function 65)
};

// What the reply to a request must look like, worked out once from the
// request: everything a reply gives back must be what the request asked.
struct ExpectedReply {
  uint8_t station;
  uint8_t function;  // the request's; an exception reply sets kExceptionBit
  ReplyShape shape;
  uint8_t dataBytes;   // kByteCount: the exact byte count the reply must carry
  bool echoesRequest;  // bytes 2 to 5 of the reply must be those of the request
};

// Whether the line hands each request back before its reply, as a 2-wire
// adapter without receiver disable does.
enum class LineEcho : uint8_t {
  kNone,
  kEchoes,  // every request comes back before its reply
  kLearn,   // not known yet: a read's reply that begins with the request tells
};

// The line a frame goes out on, with the instance's send options.
struct FrameLine {
  HANDLE port;
  uint16_t gapMs;     // inter-frame gap in ms (IFG_MS); 0 for none
  uint16_t gapLoops;  // inter-frame gap as a busy wait of 100 loops a unit (IFG)
  bool switchRts;     // raise RTS for the frame, drop it once it is out (RTSCTS)
  uint16_t baud;      // the line's rate, for its silences
  uint32_t replyTimeoutMs;
  uint8_t characterBits;  // start, data, parity and stop bits of one character
  LineEcho echo;
};

constexpr int kReportReplyBody = 134;  // two 16-bit fields, 128 text bytes, CRC
constexpr int kWriteEchoBody = 6;      // address, value or quantity, CRC
constexpr int kCrcLength = 2;
constexpr uint8_t kExceptionBit = 0x80;
constexpr uint8_t kFunctionReport = 65;

// Sends the length bytes in buffer followed by their CRC, which it writes at
// buffer[length] and buffer[length + 1]; logs when not all went out. With
// switchRts, RTS drops once the output queue is empty and the frame's wire
// time since the write began has passed (the UART's FIFO sends the last
// characters after the queue reads empty); SendEnd::kOnWire waits for that
// time too. The input is drained and the silence before the frame kept by
// the caller (Transact), once an attempt.
SendResult SendFrame(FrameLine line, uint8_t* buffer, int length, SendEnd end = SendEnd::kWritten);

// Reads one reply into buffer; *length counts the bytes read so far (the
// whole frame on FrameResult::kDone). Does not check the reply's CRC.
FrameResult ReceiveFrame(HANDLE port, const ExpectedReply& expected, uint8_t* buffer, int* length);

// True when the last two bytes of the frame are the CRC of those before it.
// Inline: every reply is checked.
inline bool FrameCrcMatches(const uint8_t* frame, int length) {
  if (length < 2) return false;
  const uint16_t crc = Crc16(frame, static_cast<size_t>(length - 2));
  return frame[length - 1] == (crc >> 8) && frame[length - 2] == (crc & 0xFF);
}

}  // namespace kovrin
