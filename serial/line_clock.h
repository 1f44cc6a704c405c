// Time on the lines: when each port last carried a byte, so that a request
// keeps the protocol's silence after it even when the host was quick, and
// waits finer than the seam's sleep for the RTS switch. The clock is the
// line seam's performance counter, in microseconds.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace kovrin {

// Now, in microseconds of the seam's counter; 0 when it cannot be read.
uint64_t LineClockUs();
// Waits until the counter reaches deadlineUs: whole milliseconds asleep,
// the last one by reading the counter. Returns at once on a counter that
// cannot be read.
void WaitUntilUs(uint64_t deadlineUs);

// Notes that the port's line carried a byte just now (a reply ended, or a
// frame left it).
void NoteLineBusy(HANDLE port);
// When the port's line last carried a byte, as noted; 0 when nothing was
// noted since it was opened.
uint64_t LineBusyAtUs(HANDLE port);
// Forgets the port's time, as it closes or opens (a handle can come back).
void ForgetLineTime(HANDLE port);

}  // namespace kovrin
