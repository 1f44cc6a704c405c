// Write transactions: SingleWrite and BlockWrite (declared with the other
// handlers) and the write exchange they share.
#pragma once

#include <cstdint>

#include "entry/host_records.h"

constexpr int kWriteAttempts = 10;

// Sends the request of `length` bytes in the instance's txBuffer and waits
// for the acknowledgement, up to ten times; 0, 1 or 2.
int DoWrite(VpiRequest* request, uint8_t* frame, int length);
