// Read transactions: SingleRead (5) and BlockRead (6) and the pieces they
// are made of.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "transfer/transfer_result.h"

namespace kovrin {

int32_t SingleRead(VpiInstance* instance, const GateTransfer* gate);
int32_t BlockRead(VpiInstance* instance, const GateTransfer* gate);

enum ReadMode : int { kReadSingle = 1, kReadBlock = 2 };

constexpr int kReadRequestLength = 6;
constexpr uint8_t kNoReadFunction = 0xFF;

// Modbus read function for a memory type (by its low byte), or
// kNoReadFunction.
uint8_t ReadFunctionFor(int32_t memoryType);

// A bit 8 to F of a high-byte gate: raised by 8 it lies outside the 16-bit
// register, so no read or write can reach it. The parser accepts such a
// gate (stored gate lists may hold one); the transfers refuse it.
bool HighByteBitOutside(const GateTransfer* transfer);
// Log the refusal at level 8. For SingleWrite, whose record names the gate
// by its address string:
void RefuseHighByteBit(const char* operation, const GateTransfer* transfer);
// For reads, whose record's gas the host leaves as it was: by its fields.
void RefuseHighByteBitRead(const GateTransfer* transfer);

// The read transaction with its retries.
TransferResult DoRead(VpiInstance* instance, const GateTransfer* transfer, int mode);
// The single read as its command gives it (its failure logged as the
// command's); the pre-read of a bit or byte write uses it too.
TransferResult SingleReadTransaction(VpiInstance* instance, const GateTransfer* transfer);

// Data bytes a reply must carry for the transfer, or -1 for an unknown width.
int ReadDataBytes(const GateTransfer* transfer, int mode);

}  // namespace kovrin
