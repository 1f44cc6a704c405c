// Write transactions: SingleWrite and BlockWrite (declared with the other
// handlers) and the write exchange they share.
#pragma once

#include <cstdint>

#include "entry/host_records.h"
#include "platform/win32.h"

// After a broadcast write the master leaves the devices this long to carry
// it out before it sends the next request (the serial line guide's
// turnaround delay, 100 to 200 ms).
constexpr DWORD kBroadcastTurnaroundMs = 100;

// Sends the request of `length` bytes in the instance's txBuffer and waits
// for the acknowledgement, up to ten times; 0, 1 or 2. A broadcast (plc 0)
// goes out once and waits the turnaround delay instead: 0, or 2 when it
// could not be sent.
int DoWrite(VpiRequest* request, uint8_t* frame, int length);
