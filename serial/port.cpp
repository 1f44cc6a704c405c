#include "serial/port.h"

#include <cstring>

#include "serial/line.h"
#include "serial/line_clock.h"

namespace kovrin {

namespace {

struct LineControlRule {
  uint16_t mask;
  DWORD control;
};

// Tested in order; the first rule whose mask meets lineFlags decides.
const LineControlRule kDtrRules[] = {
    {kLineDtrOn, DTR_CONTROL_ENABLE},
    {kLineDtrHandshake, DTR_CONTROL_HANDSHAKE},
};
const LineControlRule kRtsRules[] = {
    {kLineRtsOn, RTS_CONTROL_ENABLE},
    {kLineRtsHandshake, RTS_CONTROL_HANDSHAKE},
    {kLineRtsToggle, RTS_CONTROL_TOGGLE},
};

template <size_t N>
DWORD ControlFor(const LineControlRule (&rules)[N], uint16_t lineFlags) {
  for (const LineControlRule& rule : rules) {
    if (lineFlags & rule.mask) return rule.control;
  }
  return 0;  // DTR_CONTROL_DISABLE / RTS_CONTROL_DISABLE
}

// All-zero read timeouts mean "wait forever" to the serial functions, so a
// total of 0 ms never reaches the port: the open timeout stands in. The
// product is kept from wrapping round to a small or zero value.
DWORD TotalReadTimeoutMs(uint32_t timeout) {
  const uint64_t ms = static_cast<uint64_t>(timeout) * 10u;
  if (ms == 0) return kOpenReadTimeoutMs;
  return ms >= 0xFFFFFFFFu ? 0xFFFFFFFEu : static_cast<DWORD>(ms);
}

// The replacement for a byte received with a parity error (set, though
// fErrorChar leaves it unused).
constexpr uint8_t kErrorChar = 0xFC;

BYTE LowByte(int16_t value) { return static_cast<BYTE>(value & 0xFF); }

}  // namespace

DWORD DtrControlFor(uint16_t lineFlags) { return ControlFor(kDtrRules, lineFlags); }
DWORD RtsControlFor(uint16_t lineFlags) { return ControlFor(kRtsRules, lineFlags); }

PortResult OpenPort(const char* name, const PortSettings& settings, HANDLE* handle) {
  const LineOps& line = CurrentLine();
  HANDLE port = line.open(name);
  if (port == INVALID_HANDLE_VALUE) return PortResult::kOpenFailed;
  // The null device takes no state, timeout, line or queue call.
  if (std::strcmp(name, "NUL") == 0) {
    *handle = port;
    return PortResult::kDone;
  }

  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof(DCB);
  if (!line.getState(port, &dcb)) {
    line.close(port);
    return PortResult::kStateFailed;
  }

  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = CharacterTimeMs(settings.baud);
  timeouts.ReadTotalTimeoutConstant = kOpenReadTimeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  if (!line.setTimeouts(port, &timeouts)) {
    line.close(port);
    return PortResult::kOpenFailed;
  }

  dcb.BaudRate = settings.baud;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DtrControlFor(settings.lineFlags);
  dcb.fDsrSensitivity = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RtsControlFor(settings.lineFlags);
  dcb.fAbortOnError = 0;
  dcb.ByteSize = LowByte(settings.dataBits);
  dcb.Parity = LowByte(settings.parity);
  dcb.StopBits = LowByte(settings.stopBits);
  dcb.ErrorChar = static_cast<char>(kErrorChar);
  if (!line.setState(port, &dcb)) {
    line.close(port);
    return PortResult::kSettingsRefused;
  }

  line.setupQueues(port, kPortQueueSize, kPortQueueSize);
  ForgetLineTime(port);
  *handle = port;
  return PortResult::kDone;
}

PortResult ClosePort(HANDLE handle) {
  ForgetLineTime(handle);
  return CurrentLine().close(handle) ? PortResult::kDone : PortResult::kIoFailed;
}

uint32_t SetReadTimeoutIn10Ms(HANDLE handle, uint32_t timeout) {
  const LineOps& line = CurrentLine();
  COMMTIMEOUTS timeouts;
  if (!line.getTimeouts(handle, &timeouts)) return 0;
  const DWORD previous = timeouts.ReadTotalTimeoutConstant;
  const DWORD wanted = TotalReadTimeoutMs(timeout);
  if (wanted != previous) {
    timeouts.ReadTotalTimeoutConstant = wanted;
    if (!line.setTimeouts(handle, &timeouts)) return 0;
  }
  return previous / 10;
}

DWORD CharacterTimeMs(uint32_t baud) {
  constexpr uint32_t kBitsTimes1000 = 11000;
  return baud == 0 ? 0 : (kBitsTimes1000 + baud - 1) / baud;
}

uint32_t FrameSilenceMs(uint32_t baud) {
  constexpr uint32_t kBitsTimes1000 = 38500;  // 3.5 characters of 11 bits, in ms at 1 baud
  constexpr uint32_t kFixedSilenceAboveBaud = 19200;
  constexpr uint32_t kFixedSilenceMs = 2;  // 1.75 ms, rounded up
  if (baud == 0 || baud > kFixedSilenceAboveBaud) return kFixedSilenceMs;
  return (kBitsTimes1000 + baud - 1) / baud;
}

uint32_t FrameSilenceUs(uint32_t baud) {
  constexpr uint64_t kBitsTimesMillion = 38500000;  // 3.5 characters of 11 bits, in us at 1 baud
  constexpr uint32_t kFixedSilenceAboveBaud = 19200;
  constexpr uint32_t kFixedSilenceUs = 1750;
  if (baud == 0 || baud > kFixedSilenceAboveBaud) return kFixedSilenceUs;
  return static_cast<uint32_t>((kBitsTimesMillion + baud - 1) / baud);
}

DWORD DrainUntilQuiet(HANDLE handle, DWORD quietMs, DWORD maxRounds) {
  const LineOps& line = CurrentLine();
  COMMTIMEOUTS saved;
  if (!line.getTimeouts(handle, &saved)) return 0;
  COMMTIMEOUTS quiet = saved;
  quiet.ReadIntervalTimeout = 0;
  quiet.ReadTotalTimeoutMultiplier = 0;
  quiet.ReadTotalTimeoutConstant = quietMs != 0 ? quietMs : 1;
  if (!line.setTimeouts(handle, &quiet)) return 0;
  // A read returns when its buffer is full or quietMs after it began: one
  // that brought nothing saw the line quiet for that long.
  uint8_t scratch[512];
  DWORD discarded = 0;
  for (DWORD round = 0; round < maxRounds; ++round) {
    DWORD got = 0;
    if (!line.read(handle, scratch, sizeof scratch, &got) || got == 0) break;
    discarded += got;
  }
  line.setTimeouts(handle, &saved);
  return discarded;
}

namespace {

// Bytes are waiting: the drain reads until the line falls quiet.
void DrainWaitingInput(HANDLE handle, DWORD silenceMs, DWORD boundMs) {
  if (silenceMs == 0) silenceMs = 1;
  DrainUntilQuiet(handle, silenceMs, boundMs / silenceMs + 1);
}

}  // namespace

namespace {

// True when nothing waits in the input queue. Both are filled by a queue
// status call that succeeds, and read only then.
bool InputEmpty(HANDLE handle) {
  DWORD errors;
  COMSTAT status;
  return CurrentLine().queueStatus(handle, &errors, &status) && status.cbInQue == 0;
}

}  // namespace

void DrainInput(HANDLE handle, DWORD silenceMs, DWORD boundMs) {
  if (!InputEmpty(handle)) DrainWaitingInput(handle, silenceMs, boundMs);
}

void DrainLine(HANDLE handle, uint32_t baud, DWORD boundMs) {
  if (!InputEmpty(handle)) DrainWaitingInput(handle, FrameSilenceMs(baud), boundMs);
}

}  // namespace kovrin
