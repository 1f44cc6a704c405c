// A scripted serial line for fuzzing and tests: no device, no waiting.
//
// While installed, the port name kFakeLinePortName opens the fake line
// instead of a device. The far end is a script of replies, one per request:
// every WriteFile (a request going out) makes the next reply the pending
// input. A reply is a list of chunks. A ReadFile returns at most what is left
// of the current chunk, so a chunk boundary is a pause longer than the read
// timeout; an empty chunk is a read timeout with nothing. Past the last chunk
// every read times out. Nothing ever waits: timeouts cost no time, and Sleep
// can be made a no-op as well.
//
// Part of a reply may come late: a set time after its request went out, on
// a clock that the line's read timeouts move on (a read that times out has
// waited its whole timeout; a read that gets bytes as soon as they are
// there). Late bytes are not in the input queue before they arrive, so a
// drain that finds the queue empty does not wait for them; a read whose
// timeout reaches their arrival gets them. They outlive the requests that
// go out before they are read, ahead of those requests' replies (a device
// answers in order), where an on-time reply's unread rest is gone.
//
// The test line (tests/support/serial_faults.h), installed through the
// driver's line seam, hands every call on a fake handle to the functions in
// namespace fake_line below (after its fault injection, which therefore
// applies to the fake line too) and every other call to the product line.
// One fake line exists at a time; it holds no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

constexpr char kFakeLinePortName[] = "FAKE";

// Capacities of one script.
constexpr size_t kFakeLineMaxBytes = 1 << 16;
constexpr size_t kFakeLineMaxChunks = 4096;
constexpr size_t kFakeLineMaxReplies = 1024;
// The most bytes of one request that are kept for inspection.
constexpr size_t kFakeLineMaxRequest = 1024;

// Installs the fake line with an empty script (every read times out), and
// the test line through the seam; reinstalling starts afresh. Remove makes the name a plain port name again
// and forgets the script; an open fake handle then fails every call.
void FakeLineInstall();
void FakeLineRemove();

// Script building, in order: chunks go to the reply being scripted, and
// EndReply starts the next one. writeFails makes the request that solicits
// the next reply fail to go out (WriteFile gives FALSE); its chunks are still
// served. Gives false when the script is full (the bytes are then dropped).
bool FakeLineAddChunk(const uint8_t* bytes, size_t size);
// Appends bytes to the last chunk of the reply being scripted (a new chunk
// when it has none).
bool FakeLineExtendChunk(const uint8_t* bytes, size_t size);
bool FakeLineEndReply(bool writeFails = false);
// The chunks scripted from now on in this reply arrive late: tenths / 10
// reply timeouts (the read timeout's constant part when the request goes
// out) after their request. Gives false when the reply has a late part
// already.
bool FakeLineLateRest(uint32_t tenths);

// A late reply in the sense of the driver's promise: a whole reply (no
// on-time byte, no pause within) to a request that went out to one station,
// less than two reply timeouts late, behind no late bytes but such replies'.
// Such bytes must never reach a read
// while another request than their own is out: the driver waits for the
// line to fall quiet before it sends another. Counts the bytes that did,
// with the first such reply's number and the request's then out (both
// counted from 0).
struct FakeLineStrayLate {
  int bytes;
  int reply;
  int request;
};
FakeLineStrayLate FakeLineStrayLateBytes();

// While on, the line's sleep returns at once (for every line, not only the
// fake one).
void FakeLineSkipSleeps(bool skip);
bool FakeLineSleepsSkipped();

// What went out: requests written since the install, the last one's bytes
// (at most kFakeLineMaxRequest of them), and RTS raise/drop calls.
int FakeLineRequestCount();
size_t FakeLineLastRequest(const uint8_t** bytes);
int FakeLineEscapeCount();
// Whether a fake handle is open now.
bool FakeLineIsOpen();

namespace fake_line {

// True when name opens the fake line (installed, and the reserved name).
bool Claims(const char* name);
// True when handle is a fake line handle.
bool Owns(HANDLE handle);

HANDLE Open();
BOOL CloseHandle(HANDLE handle);
BOOL GetCommState(HANDLE handle, LPDCB dcb);
BOOL SetCommState(HANDLE handle, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts);
BOOL SetupComm(HANDLE handle);
BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT stat);
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written);
BOOL EscapeCommFunction(HANDLE handle, DWORD function);

}  // namespace fake_line
