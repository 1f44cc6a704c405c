// Fault injection for tests, through the driver's line seam: makes chosen
// calls fail or transfer fewer bytes, and counts calls, so that every
// failure path of the driver can be reached on a real pseudo-terminal or on
// the fake line. The test line it installs passes every call on (to the fake
// line for its handle, else to the product line) and is inert until a test
// arms a fault.
#pragma once

#include <cstdint>

// Tests of the POSIX layer use its device hook and view beside the faults.
#include "platform/serial_device.h"
#include "serial/line.h"

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

// Puts the test line in the seam (each function below does so as well).
void InstallTestLine();
// The test line's table, to call through it directly.
const kovrin::LineOps& TestLine();

// The next `times` calls of `call`, after `skip` calls that go through, fail.
void SerialFaultFail(SerialCall call, int times = 1, int skip = 0);
// The next `times` reads or writes of a port (not of the fake line)
// transfer at most maxBytes.
void SerialFaultShortTransfer(SerialCall call, uint32_t maxBytes, int times = 1);
// Disarms every fault, removes the POSIX layer's device hook and zeroes the
// counters.
void SerialFaultsReset();
// Calls of `call` since the last reset (failed ones included).
int SerialCallCount(SerialCall call);
