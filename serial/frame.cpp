#include "serial/frame.h"

#include "host_interface/journal.h"
#include "serial/crc16.h"
#include "serial/line.h"
#include "serial/line_clock.h"
#include "serial/port.h"

namespace kovrin {

namespace {

struct ExceptionEntry {
  const char* message;
  FrameResult result;
};

// Indexed by exception code 1 to 8; other codes use kOtherException.
const ExceptionEntry kExceptionTable[9] = {
    {nullptr, FrameResult::kDone},
    {"KOVRIN> (MB-protocol) Illegal function", FrameResult::kDone},
    {"KOVRIN> (MB-protocol) Illegal data address", FrameResult::kRefused},
    {"KOVRIN> (MB-protocol) Illegal data value", FrameResult::kRefused},
    {"KOVRIN> (MB-protocol) Failure in associated device", FrameResult::kTransport},
    {"KOVRIN> (MB-protocol) Acknowledge (processing)", FrameResult::kRefused},
    {"KOVRIN> (MB-protocol) Busy, rejected message", FrameResult::kDone},
    {"KOVRIN> (MB-protocol) Negative acknowledgment", FrameResult::kDone},
    {"KOVRIN> (MB-protocol) Memory parity error", FrameResult::kDone},
};
const ExceptionEntry kOtherException = {"KOVRIN> (MB-protocol error)", FrameResult::kDone};

constexpr uint32_t kBusyLoopsPerGapUnit = 100;
constexpr uint8_t kFirstExceptionCode = 1;
constexpr uint8_t kLastExceptionCode = 8;
constexpr DWORD kExceptionBody = 3;  // exception code, CRC

// A pure processor delay: the volatile counter keeps the loop from being
// optimised away.
void BusyWait(uint32_t iterations) {
  volatile uint32_t i = 0;
  while (i < iterations) {
    i = i + 1;
  }
}

// Microseconds on the wire for count characters, rounded up; 1 ms for an
// unknown rate.
uint64_t WireTimeUs(uint64_t count, const FrameLine& line) {
  if (line.baud == 0) return 1000;
  return (count * line.characterBits * 1000000u + line.baud - 1) / line.baud;
}

// Waits until the output queue reads empty, each time for the wire time of
// what it still holds: a finer wait than a sleep of 1 ms, which a Windows
// timer stretches to 15 ms, long enough for the device's reply to start
// under the raised RTS.
void WaitForOutputQueue(const LineOps& line, const FrameLine& frameLine) {
  for (;;) {
    DWORD errors = 0;
    COMSTAT status;
    if (!line.queueStatus(frameLine.port, &errors, &status)) {
      err(kLogDetail, "KOVRIN> Send() ClearCommError() failed");
      return;
    }
    if (status.cbOutQue == 0) return;
    const uint64_t nowUs = LineClockUs();
    if (nowUs == 0) {
      line.sleep(1);
    } else {
      WaitUntilUs(nowUs + WireTimeUs(status.cbOutQue, frameLine));
    }
  }
}

// When the last bit of a frame of length characters (its CRC included),
// written at startUs, is due on the wire: its wire time and one character
// more, for the latency of the write's start (devices answer 3.5
// characters after a frame at the soonest). startUs itself for an unknown
// rate or time.
uint64_t FrameLeavesLineUs(uint64_t startUs, DWORD length, const FrameLine& line) {
  if (line.baud == 0 || startUs == 0) return startUs;
  return startUs + WireTimeUs(static_cast<uint64_t>(length) + 1, line);
}

}  // namespace

SendResult SendFrame(FrameLine frameLine, uint8_t* buffer, int length, SendEnd end) {
  const LineOps& line = CurrentLine();
  if (frameLine.gapMs != 0) {
    line.sleep(frameLine.gapMs);
  } else if (frameLine.gapLoops != 0) {
    BusyWait(static_cast<uint32_t>(frameLine.gapLoops) * kBusyLoopsPerGapUnit);
  }
  HANDLE port = frameLine.port;

  const uint16_t crc = Crc16(buffer, static_cast<size_t>(length));
  buffer[length] = static_cast<uint8_t>(crc & 0xFF);
  buffer[length + 1] = static_cast<uint8_t>(crc >> 8);
  const DWORD frameLength = static_cast<DWORD>(length + kCrcLength);

  if (frameLine.switchRts && !line.escape(port, SETRTS)) {
    err(kLogDetail, "KOVRIN> Send() EscapeCommFunction() failed");
  }
  const bool awaitWire = frameLine.switchRts || end == SendEnd::kOnWire;
  const uint64_t startUs = awaitWire ? LineClockUs() : 0;
  DWORD written = 0;
  const PortResult code = WriteBytes(port, buffer, frameLength, &written);
  if (awaitWire) {
    if (frameLine.switchRts) WaitForOutputQueue(line, frameLine);
    WaitUntilUs(FrameLeavesLineUs(startUs, written, frameLine));
  }
  if (frameLine.switchRts && !line.escape(port, CLRRTS)) {
    err(kLogDetail, "KOVRIN> Send() EscapeCommFunction() failed");
  }
  if (code == PortResult::kDone && written == frameLength) return SendResult::kSent;
  err(kLogDetail, "KOVRIN> SEND> Unable to send message.");
  return SendResult::kNotSent;
}

namespace {

// The reply's first two bytes: its station and its function.
FrameResult ReceiveHeader(HANDLE port, const ExpectedReply& expected, uint8_t* buffer, int* length) {
  DWORD got = 0;
  if (ReadBytes(port, buffer, 2, &got) != PortResult::kDone) {
    err(kLogDetail, "KOVRIN> Recieve() timeout 1 (iRead=%d)", 0);
    return FrameResult::kTransport;
  }
  if (buffer[0] != expected.station) {
    err(kLogDetail, "KOVRIN> Wrong plc addr.%xh received", buffer[0]);
    return FrameResult::kWrong;
  }
  if (got == 1) {
    err(kLogDetail, "KOVRIN> Recieve() wrong length reading header (iRead=%d)", 1);
    err(kLogDetail, "KOVRIN> Only right plc addr.%xh received", buffer[0]);
    return FrameResult::kWrong;
  }
  *length += 2;
  return FrameResult::kDone;
}

// The rest of an exception to the request's function: its code decides the
// result.
FrameResult ReceiveException(HANDLE port, uint8_t* buffer, int* length) {
  DWORD got = 0;
  if (ReadBytes(port, buffer + 2, kExceptionBody, &got) != PortResult::kDone) {
    err(kLogDetail, "KOVRIN> Receive() timeout 2nd part message (iRead=%d)", 0);
    return FrameResult::kTransport;
  }
  if (got < kExceptionBody) {
    err(kLogDetail, "KOVRIN> Receive() wrong length 2nd part message iRead=%d", static_cast<int>(got));
    return FrameResult::kWrong;
  }
  *length += static_cast<int>(kExceptionBody);
  const uint8_t code = buffer[2];
  const bool known = code >= kFirstExceptionCode && code <= kLastExceptionCode;
  const ExceptionEntry& entry = known ? kExceptionTable[code] : kOtherException;
  err(kLogDetail, "%s", entry.message);
  return entry.result;
}

// A report packet's body is of one fixed size.
FrameResult ReceiveReportBody(HANDLE port, uint8_t* buffer, int* length) {
  DWORD got = 0;
  if (ReadBytes(port, buffer + 2, kReportReplyBody, &got) != PortResult::kDone) {
    err(kLogDetail, "KOVRIN> Receive() reading timeout (2+2+128+2) data part message (iRead=%d)", 0);
    return FrameResult::kTransport;
  }
  *length += static_cast<int>(got);
  if (got != kReportReplyBody) {
    err(kLogDetail, "KOVRIN> Receive() wrong length last data part message. iToRead %d, iRead %d",
        kReportReplyBody, static_cast<int>(got));
    return FrameResult::kWrong;
  }
  return FrameResult::kDone;
}

// A write's echo is of one fixed size; a read's data announces its size in
// its first byte, which must be the size asked for.
FrameResult ReceiveBody(HANDLE port, const ExpectedReply& expected, uint8_t* buffer, int* length) {
  DWORD got = 0;
  DWORD rest = 0;
  uint8_t* restAt = nullptr;
  if (expected.shape == ReplyShape::kWriteEcho) {
    rest = kWriteEchoBody;
    restAt = buffer + 2;
  } else {
    if (ReadBytes(port, buffer + 2, 1, &got) != PortResult::kDone) {
      err(kLogDetail, "KOVRIN> Receive() error reading data part message (iRead=%d)", 0);
      return FrameResult::kTransport;
    }
    *length += 1;
    if (buffer[2] != expected.dataBytes) {
      // A reply to another request (or garbled): its rest is drained.
      err(kLogDetail, "KOVRIN> Receive() byte count %d, %d expected", buffer[2], expected.dataBytes);
      return FrameResult::kWrong;
    }
    rest = static_cast<DWORD>(buffer[2]) + kCrcLength;
    restAt = buffer + 3;
  }
  if (ReadBytes(port, restAt, rest, &got) != PortResult::kDone) {
    err(kLogDetail, "KOVRIN> Receive() reading timeout last data part message (iRead=%d)", 0);
    return FrameResult::kTransport;
  }
  *length += static_cast<int>(got);
  if (got != rest) {
    err(kLogDetail, "KOVRIN> Receive() wrong length last data part message. iToRead %d, iRead %d",
        static_cast<int>(rest), static_cast<int>(got));
    return FrameResult::kWrong;
  }
  return FrameResult::kDone;
}

}  // namespace

FrameResult ReceiveFrame(HANDLE port, const ExpectedReply& expected, uint8_t* buffer, int* length) {
  *length = 0;
  const FrameResult header = ReceiveHeader(port, expected, buffer, length);
  if (header != FrameResult::kDone) return header;

  const uint8_t function = buffer[1];
  const uint8_t requested = expected.function;
  if (function & kExceptionBit) {
    if (function != (requested | kExceptionBit)) {
      // Another request's exception, not this one's.
      err(kLogDetail, "KOVRIN> Different function with 0x80 returned");
      return FrameResult::kWrong;
    }
    return ReceiveException(port, buffer, length);
  }
  if (function != requested) {
    err(kLogDetail, "KOVRIN> Different function returned");
    return FrameResult::kWrong;
  }
  if (expected.shape == ReplyShape::kReport) return ReceiveReportBody(port, buffer, length);
  return ReceiveBody(port, expected, buffer, length);
}

}  // namespace kovrin
