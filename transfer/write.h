// Write transactions: SingleWrite (7) and BlockWrite (8) and the write
// exchange they share.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "transfer/transfer_result.h"
#include "platform/win32.h"

namespace kovrin {

// driverNumber finds the report-line gates of a report fetch.
int32_t SingleWrite(VpiInstance* instance, const GateTransfer* gate, int32_t driverNumber);
int32_t BlockWrite(VpiInstance* instance, const GateTransfer* gate);

// After a broadcast write the master leaves the devices this long to carry
// it out before it sends the next request (the serial line guide's
// turnaround delay, 100 to 200 ms).
constexpr DWORD kBroadcastTurnaroundMs = 100;

// Sends the request of `length` bytes in the instance's txBuffer and waits
// for the gate's acknowledgement, up to ten times. A broadcast (plc 0) goes
// out once and waits the turnaround delay instead (a transport failure when
// it could not be sent).
TransferResult DoWrite(VpiInstance* instance, const GateTransfer* gate, uint8_t* frame, int length);

}  // namespace kovrin
