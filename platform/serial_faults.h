// Test seam of the POSIX serial layer: makes chosen calls fail or transfer
// fewer bytes, and counts calls, so that every failure path of the driver can
// be reached on a real pseudo-terminal. Inert unless a test arms it.
#pragma once

#include <cstdint>

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
// Disarms every fault and zeroes the counters.
void SerialFaultsReset();
// Calls of `call` since the last reset (failed ones included).
int SerialCallCount(SerialCall call);
