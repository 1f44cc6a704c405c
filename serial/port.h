// Serial port access: the only code that touches the port. Every operation
// is a thin layer over the Win32 serial functions and returns a small code;
// none of them logs. Every call reaches the port through the line seam
// (serial/line.h).
#pragma once

#include <cstdint>

#include "host_interface/port_settings.h"
#include "platform/win32.h"
#include "serial/line.h"

namespace kovrin {

enum class PortResult : int {
  kDone = 0,
  kOpenFailed = 1,       // open failed, or setting the timeouts failed
  kShortWrite = 2,       // a write transferred fewer bytes than asked
  kStateFailed = 4,      // reading the current port state failed
  kSettingsRefused = 5,  // the port refused the line settings
  kIoFailed = 7,         // close, write or read failed, or a read got nothing
};

constexpr DWORD kOpenReadTimeoutMs = 1000;
constexpr DWORD kPortQueueSize = 1200;
constexpr DWORD kDrainSilenceMs = 50;

// Opens and configures the port; name is a C string, the line parameters and
// lineFlags come from line. On PortResult::kDone *handle is the open port.
PortResult OpenPort(const char* name, const PortSettings& line, HANDLE* handle);
PortResult ClosePort(HANDLE handle);
// Sets the read total timeout to timeout x 10 ms (0 gives the open timeout
// of 1000 ms: a read never waits without end); gives the previous one in
// units of 10 ms, or 0 when the timeouts could not be read or written.
uint32_t SetReadTimeoutIn10Ms(HANDLE handle, uint32_t timeout);
// Throws away pending input. When bytes are waiting, a reply may still be
// arriving: reads on until silenceMs pass without a byte, for boundMs at
// most. When none wait, as after a reply read whole, costs one queue call.
void DrainInput(HANDLE handle, DWORD silenceMs = kDrainSilenceMs, DWORD boundMs = kOpenReadTimeoutMs);
// The same before a request on a line of that rate: the silence is the
// protocol's between frames (FrameSilenceMs).
void DrainLine(HANDLE handle, uint32_t baud, DWORD boundMs);
// Throws away what arrives until quietMs pass without a byte (maxRounds
// such waits at most); gives the number of bytes thrown away.
DWORD DrainUntilQuiet(HANDLE handle, DWORD quietMs, DWORD maxRounds);
// One character's time on the wire (11 bits) in whole milliseconds rounded
// up; 0 for an unknown rate. Every read's timeout grows by it for each byte
// asked, so that a long reply's own wire time never counts against the
// device's reply timeout (a 255-byte reply takes 292 ms at 9600 baud).
DWORD CharacterTimeMs(uint32_t baud);
// The protocol's silence between frames, 3.5 characters of 11 bits at the
// line's rate (1.75 ms above 19200 baud), in whole milliseconds rounded up.
uint32_t FrameSilenceMs(uint32_t baud);
// The same in microseconds (1750 above 19200 baud), rounded up.
uint32_t FrameSilenceUs(uint32_t baud);
// Bits on the wire for one character: start, data, parity and stop bits
// (dataBits, parity and stopBits as the port's settings hold them; one and
// a half stop bits count as two).
// Inline: every attempt's line asks.
inline uint8_t CharacterBits(int16_t dataBits, int16_t parity, int16_t stopBits) {
  const int data = dataBits >= 5 && dataBits <= 8 ? dataBits : 8;
  const int parityBits = (parity & 0xFF) == NOPARITY ? 0 : 1;
  const int stops = (stopBits & 0xFF) == ONESTOPBIT ? 1 : 2;
  return static_cast<uint8_t>(1 + data + parityBits + stops);
}
// Inline, as they sit on every transaction's path (three reads a reply).
inline PortResult WriteBytes(HANDLE handle, const uint8_t* bytes, DWORD count, DWORD* written) {
  DWORD done = 0;
  if (!CurrentLine().write(handle, bytes, count, &done)) return PortResult::kIoFailed;
  if (written != nullptr) *written = done;
  return done == count ? PortResult::kDone : PortResult::kShortWrite;
}
// PortResult::kDone means at least one byte arrived; *received may be below count.
inline PortResult ReadBytes(HANDLE handle, uint8_t* buffer, DWORD count, DWORD* received) {
  if (received != nullptr) *received = 0;
  DWORD got;  // a read that succeeds gives the count
  if (!CurrentLine().read(handle, buffer, static_cast<uint16_t>(count), &got)) return PortResult::kIoFailed;
  if (got == 0) return PortResult::kIoFailed;
  if (received != nullptr) *received = got;
  return PortResult::kDone;
}

// DTR and RTS control chosen by lineFlags (first matching row wins).
DWORD DtrControlFor(uint16_t lineFlags);
DWORD RtsControlFor(uint16_t lineFlags);

}  // namespace kovrin
