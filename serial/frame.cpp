#include "serial/frame.h"

#include "entry/host_library.h"
#include "serial/crc16.h"
#include "serial/line.h"
#include "serial/port.h"

namespace {

struct ExceptionEntry {
  const char* message;
  int result;
};

// Indexed by exception code 1 to 8; other codes use kOtherException.
const ExceptionEntry kExceptionTable[9] = {
    {nullptr, 0},
    {"KOVRIN> (MB-protocol) Illegal function", kReceiveDone},
    {"KOVRIN> (MB-protocol) Illegal data address", kReceiveRefused},
    {"KOVRIN> (MB-protocol) Illegal data value", kReceiveRefused},
    {"KOVRIN> (MB-protocol) Failure in associated device", kReceiveTransport},
    {"KOVRIN> (MB-protocol) Acknowledge (processing)", kReceiveRefused},
    {"KOVRIN> (MB-protocol) Busy, rejected message", kReceiveDone},
    {"KOVRIN> (MB-protocol) Negative acknowledgment", kReceiveDone},
    {"KOVRIN> (MB-protocol) Memory parity error", kReceiveDone},
};
const ExceptionEntry kOtherException = {"KOVRIN> (MB-protocol error)", kReceiveDone};

// A pure processor delay: the volatile counter keeps the loop from being
// optimised away.
void BusyWait(uint32_t iterations) {
  volatile uint32_t i = 0;
  while (i < iterations) {
    i = i + 1;
  }
}

void WaitForOutputQueue(const LineOps& line, HANDLE port) {
  for (;;) {
    DWORD errors = 0;
    COMSTAT status;
    if (!line.queueStatus(port, &errors, &status)) {
      err(kLogDetail, "KOVRIN> Send() ClearCommError() failed");
      return;
    }
    line.sleep(1);
    if (status.cbOutQue == 0) return;
  }
}

}  // namespace

bool FrameCrcMatches(const uint8_t* frame, int length) {
  if (length < 2) return false;
  const uint16_t crc = Crc16(frame, static_cast<size_t>(length - 2));
  return frame[length - 1] == (crc >> 8) && frame[length - 2] == (crc & 0xFF);
}

int SendFrame(VpiInstance* instance, uint8_t* buffer, int length) {
  const LineOps& line = Line();
  if (instance->IFG_MS != 0) {
    line.sleep(instance->IFG_MS);
  } else if (instance->IFG != 0) {
    BusyWait(static_cast<uint32_t>(instance->IFG) * 100u);
  }
  HANDLE port = instance->portHandle;
  DrainInput(port);

  const uint16_t crc = Crc16(buffer, static_cast<size_t>(length));
  buffer[length] = static_cast<uint8_t>(crc & 0xFF);
  buffer[length + 1] = static_cast<uint8_t>(crc >> 8);
  const DWORD frameLength = static_cast<DWORD>(length + 2);

  if (instance->RTSCTS && !line.escape(port, SETRTS)) {
    err(kLogDetail, "KOVRIN> Send() EscapeCommFunction() failed");
  }
  DWORD written = 0;
  const int code = WriteBytes(port, buffer, frameLength, &written);
  if (instance->RTSCTS) {
    WaitForOutputQueue(line, port);
    if (!line.escape(port, CLRRTS)) err(kLogDetail, "KOVRIN> Send() EscapeCommFunction() failed");
  }
  if (code == kPortDone && written == frameLength) return 0;
  g_lastError = kLastErrorSendFailed;
  err(kLogDetail, "KOVRIN> SEND> Unable to send message.");
  return 2;
}

int ReceiveFrame(const GateTransfer* transfer, VpiInstance* instance, uint8_t* buffer, int* length) {
  HANDLE port = instance->portHandle;
  *length = 0;
  DWORD got = 0;
  if (ReadBytes(port, buffer, 2, &got) != kPortDone) {
    err(kLogDetail, "KOVRIN> Recieve() timeout 1 (iRead=%d)", 0);
    return kReceiveTransport;
  }
  if (buffer[0] != static_cast<uint8_t>(transfer->plc)) {
    err(kLogDetail, "KOVRIN> Wrong plc addr.%xh received", buffer[0]);
    return kReceiveWrong;
  }
  if (got == 1) {
    err(kLogDetail, "KOVRIN> Recieve() wrong length reading header (iRead=%d)", 1);
    err(kLogDetail, "KOVRIN> Only right plc addr.%xh received", buffer[0]);
    return kReceiveWrong;
  }
  *length += 2;

  const uint8_t function = buffer[1];
  const uint8_t requested = instance->txBuffer[1];
  if (function & kExceptionBit) {
    if (function != (requested | kExceptionBit)) {
      err(kLogDetail, "KOVRIN> Different function with 0x80 returned");
    }
    if (ReadBytes(port, buffer + 2, 3, &got) != kPortDone) {
      err(kLogDetail, "KOVRIN> Receive() timeout 2nd part message (iRead=%d)", 0);
      return kReceiveTransport;
    }
    if (got < 3) {
      err(kLogDetail, "KOVRIN> Receive() wrong length 2nd part message iRead=%d", static_cast<int>(got));
      return kReceiveWrong;
    }
    *length += 3;
    const uint8_t code = buffer[2];
    const ExceptionEntry& entry = (code >= 1 && code <= 8) ? kExceptionTable[code] : kOtherException;
    err(kLogDetail, "%s", entry.message);
    return entry.result;
  }

  if (function != requested) {
    err(kLogDetail, "KOVRIN> Different function returned");
    return kReceiveWrong;
  }

  if (transfer->memoryType == kMemReport && function == kFunctionReport) {
    if (ReadBytes(port, buffer + 2, kReportReplyBody, &got) != kPortDone) {
      err(kLogDetail, "KOVRIN> Receive() reading timeout (2+2+128+2) data part message (iRead=%d)", 0);
      return kReceiveTransport;
    }
    *length += static_cast<int>(got);
    if (got != kReportReplyBody) {
      err(kLogDetail, "KOVRIN> Receive() wrong length last data part message. iToRead %d, iRead %d",
          kReportReplyBody, static_cast<int>(got));
      return kReceiveWrong;
    }
    return kReceiveDone;
  }

  DWORD rest = 0;
  uint8_t* restAt = nullptr;
  if (instance->writeInProgress == 1) {
    rest = kWriteEchoBody;
    restAt = buffer + 2;
  } else {
    if (ReadBytes(port, buffer + 2, 1, &got) != kPortDone) {
      err(kLogDetail, "KOVRIN> Receive() error reading data part message (iRead=%d)", 0);
      return kReceiveTransport;
    }
    *length += 1;
    rest = static_cast<DWORD>(buffer[2]) + 2;
    restAt = buffer + 3;
  }
  if (ReadBytes(port, restAt, rest, &got) != kPortDone) {
    err(kLogDetail, "KOVRIN> Receive() reading timeout last data part message (iRead=%d)", 0);
    return kReceiveTransport;
  }
  *length += static_cast<int>(got);
  if (got != rest) {
    err(kLogDetail, "KOVRIN> Receive() wrong length last data part message. iToRead %d, iRead %d",
        static_cast<int>(rest), static_cast<int>(got));
    return kReceiveWrong;
  }
  return kReceiveDone;
}
