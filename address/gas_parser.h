// The gate address string (GAS) of an ordinary gate: plc number, memory type
// character, address and optional bit number in fixed positions, checked and
// turned into the five GateAddress values the host keeps with the gate.
#pragma once

#include <cstddef>

#include "address/address_result.h"
#include "host_interface/host_records.h"
#include "host_interface/instance.h"

namespace kovrin {

// A GAS has 8 positions in bases D and H and 9 in base L.
constexpr size_t kGasPositions = 9;

// The characters allowed at each position (upper case only).
extern const char* const GasPositionTable[kGasPositions];

// Checks request->gas against the instance's number base, protocol variant
// and LONGADDR flag and stores plc, memoryType, address, bit and width in the
// request. Refused after one log line. Fields are
// stored as they are converted, so a rejection may leave some of them set.
// The host's string is only read.
AddressResult Parse(VpiInstance* instance, ParseRequest* request);

// Upper-cases one character without the locale: 0x20 is subtracted when the
// character, as a signed byte, is at least 'a'. So '{' to 0x7F become '[' to
// '_', and bytes from 0x80 up stay as they are.
char UpcaseAscii(char c);

}  // namespace kovrin
