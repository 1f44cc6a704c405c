// Serial port access: the only code that touches the port. Every operation
// is a thin layer over the Win32 serial functions and returns a small code;
// none of them logs.
#pragma once

#include <cstdint>

#include "entry/instance.h"
#include "platform/win32.h"

enum PortCode : int {
  kPortDone = 0,
  kPortOpenFailed = 1,        // open failed, or setting the timeouts failed
  kPortShortWrite = 2,        // a write transferred fewer bytes than asked
  kPortStateFailed = 4,       // reading the current port state failed
  kPortSettingsRefused = 5,   // the port refused the line settings
  kPortIoFailed = 7,          // close, write or read failed, or a read got nothing
};

constexpr DWORD kOpenReadTimeoutMs = 1000;
constexpr DWORD kPortQueueSize = 1200;
constexpr uint32_t kDrainTimeout = 5;  // 50 ms, in units of 10 ms

// Opens and configures the port; name is a C string, the line parameters and
// lineFlags come from line. On kPortDone *handle is the open port.
int OpenPort(const char* name, const PortSettings& line, HANDLE* handle);
int ClosePort(HANDLE handle);
// Sets the read total timeout to timeout x 10 ms (0 gives the open timeout
// of 1000 ms: a read never waits without end); gives the previous one in
// units of 10 ms, or 0 when the timeouts could not be read or written.
uint32_t SetReadTimeout(HANDLE handle, uint32_t timeout);
// Throws away pending input.
void DrainInput(HANDLE handle);
int WriteBytes(HANDLE handle, const uint8_t* bytes, DWORD count, DWORD* written);
// kPortDone means at least one byte arrived; *received may be below count.
int ReadBytes(HANDLE handle, uint8_t* buffer, DWORD count, DWORD* received);

// DTR and RTS control chosen by lineFlags (first matching row wins).
DWORD DtrControlFor(uint16_t lineFlags);
DWORD RtsControlFor(uint16_t lineFlags);
