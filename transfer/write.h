// Write transactions: SingleWrite (7) and BlockWrite (8) and the write
// exchange they share.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "platform/win32.h"

int32_t SingleWrite(VpiRequest* request);
int32_t BlockWrite(VpiRequest* request);

// After a broadcast write the master leaves the devices this long to carry
// it out before it sends the next request (the serial line guide's
// turnaround delay, 100 to 200 ms).
constexpr DWORD kBroadcastTurnaroundMs = 100;

// Sends the request of `length` bytes in the instance's txBuffer and waits
// for the acknowledgement, up to ten times; 0, 1 or 2. A broadcast (plc 0)
// goes out once and waits the turnaround delay instead: 0, or 2 when it
// could not be sent.
int DoWrite(VpiRequest* request, uint8_t* frame, int length);
