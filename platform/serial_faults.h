// Test seam of the POSIX serial layer: makes chosen calls fail or transfer
// fewer bytes, and counts calls, so that every failure path of the driver can
// be reached on a real pseudo-terminal. Inert unless a test arms it. Also
// shows what the device behind a handle holds, read back from the kernel.
#pragma once

#include <cstdint>

#include "platform/win32.h"

enum class SerialCall : int {
  kCreateFile,
  kCloseHandle,
  kGetCommState,
  kSetCommState,
  kGetCommTimeouts,
  kSetCommTimeouts,
  kSetupComm,
  kClearCommError,
  kReadFile,
  kWriteFile,
  kEscapeCommFunction,
  kCount,
};

// The next `times` calls of `call`, after `skip` calls that go through, fail.
void SerialFaultFail(SerialCall call, int times = 1, int skip = 0);
// The next `times` ReadFile/WriteFile calls transfer at most maxBytes.
void SerialFaultShortTransfer(SerialCall call, uint32_t maxBytes, int times = 1);
// Disarms every fault, removes the device hook and zeroes the counters.
void SerialFaultsReset();
// Calls of `call` since the last reset (failed ones included).
int SerialCallCount(SerialCall call);

// Every request the layer makes of a device beyond reading and setting its
// termios (TIOCOUTQ, TIOCSERGETLSR, TIOCGSERIAL, TIOCGRS485, termios2, modem
// lines, tcdrain as TCSBRK 1 ...) goes to the hook while one is set, in
// place of ioctl(2): a test plays a UART that a pseudo-terminal is not.
// Null restores ioctl(2).
using SerialIoctlHook = int (*)(int fd, unsigned long request, void* argument);
void SerialSetIoctlHook(SerialIoctlHook hook);

// The line settings the device behind an open handle holds, as the kernel
// reports them (a pseudo-terminal keeps 8 bits without parity enable
// whatever it is told).
struct SerialDeviceView {
  uint32_t baud;
  int byteSize;
  bool parityEnable;
  bool parityOdd;
  bool markSpace;  // CMSPAR
  bool twoStopBits;
  bool inputParityCheck;  // INPCK
  bool rtsCtsFlow;        // CRTSCTS
  bool raw;        // no line editing, echo, signals, translation or flow control
  bool exclusive;  // TIOCEXCL
};
// False when the handle is not an open terminal.
bool SerialViewDevice(HANDLE handle, SerialDeviceView* view);
