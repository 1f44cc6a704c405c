#include "address/gas_parser.h"

#include <cstdint>
#include <cstring>

#include "address/field_scan.h"
#include "host_interface/host_library.h"

const char* const GasPositionTable[kGasPositions] = {
    "0123456789ABCDEF",   // plc
    "0123456789ABCDEF",   // plc
    "01345678LH",         // memory type
    "0123456789ABCDEF",   // address
    "0123456789ABCDEF",   // address
    "0123456789ABCDEF",   // address
    "0123456789ABCDEF",   // address
    "0123456789ABCDEF ",  // bit (D, H) or last address digit (L)
    "0123456789ABCDEF ",  // bit (L)
};

namespace {

// A GAS of the wrong size may be of any length; its log line shows no more
// than this many characters of it.
constexpr int kShownGasMax = 80;

// The frames carry 16-bit register addresses; a larger one would silently
// address another register.
constexpr int kMaxRegisterAddress = 0xFFFF;

int32_t MemoryTypeOf(char c) {
  if (c == 'L') return kMemLowByte;
  if (c == 'H') return kMemHighByte;
  return c - '0';
}

}  // namespace

AddressResult Parse(VpiInstance* instance, ParseRequest* request) {
  const bool hex = instance->base == 'H';
  const bool longDecimal = instance->base == 'L';
  const bool modbus = instance->protocol == 'M';
  const size_t n = longDecimal ? 9 : 8;
  const char* gas = request->gas != nullptr ? request->gas : "";

  // Never read further into the host's string than the longest valid GAS.
  const size_t length = strnlen(gas, n + 1);
  if (length != n && length != n - 1) {
    err(kLogMajor, "KOVRIN> Parse() Wrong size of gas, '%.*s'", kShownGasMax, gas);
    return AddressResult::kRefused;
  }

  // A GAS one short has no bit number: complete it with a space.
  char copy[kGasPositions + 1];
  std::memcpy(copy, gas, length);
  if (length == n - 1) copy[n - 1] = ' ';
  copy[n] = '\0';

  for (unsigned i = 0; i < n; ++i) {
    if (!CharAllowed(GasPositionTable[i], copy[i])) {
      err(kLogDetail, "KOVRIN> Parse() illegal char #%u, %c in '%s'", i, copy[i], copy);
      return AddressResult::kRefused;
    }
  }

  const char typeChar = copy[2];
  const char bitChar = copy[n - 1];
  if (longDecimal && copy[7] == ' ' && copy[8] != ' ') {
    err(kLogMajor, "KOVRIN> Parse() illegal GAS:'%s'", copy);
    return AddressResult::kRefused;
  }
  if ((typeChar == '0' || typeChar == '1') && bitChar != ' ') {
    err(kLogMajor, "KOVRIN> Parse() illegal GAS:'%s'", copy);
    return AddressResult::kRefused;
  }
  if (!hex && !AllDecimalDigits(copy, n - 1)) {
    err(kLogDetail, "KOVRIN> Parse() illegal GAS:'%s' for decimal base ", copy);
    return AddressResult::kRefused;
  }

  int plc = 0;
  if (!ScanField(copy, hex ? "%02x" : "%02d", &plc)) {
    err(kLogDetail, "KOVRIN> Parse() illegal PLC address, '%s'", copy);
    return AddressResult::kRefused;
  }
  request->plc = plc;

  int address = 0;
  const char* addressFormat = hex ? "%04x" : longDecimal ? "%05d" : "%04d";
  if (!ScanField(copy + 3, addressFormat, &address)) {
    err(kLogDetail, "KOVRIN> Parse() illegal address, '%s'", copy);
    return AddressResult::kRefused;
  }
  if (modbus) {
    // Modbus addresses in a GAS count from 1.
    if (address == 0) {
      err(kLogDetail, "KOVRIN> Parse() illegal addr. 0 for Modbus, '%s'", copy);
      return AddressResult::kRefused;
    }
    --address;
  }
  if (address > kMaxRegisterAddress) {
    err(kLogDetail, "KOVRIN> Parse() illegal address, '%s'", copy);
    return AddressResult::kRefused;
  }
  request->address = address;

  const int32_t memoryType = MemoryTypeOf(typeChar);
  request->memoryType = memoryType;

  request->bit = -1;
  if (bitChar != ' ') {
    int bit = 0;
    if (!ScanField(copy + n - 1, "%01x", &bit)) {
      err(kLogDetail, "KOVRIN> Parse() illegal bitnumber in '%s'", copy);
      return AddressResult::kRefused;
    }
    request->bit = bit;
  }

  request->width = 16;
  if (memoryType >= kMemInputFloat && memoryType <= kMemHoldingLong) {
    request->width = 32;
    if (instance->flags & kFlagLongAddr) return AddressResult::kAccepted;
    // Without LONGADDR a 32-bit gate names a register pair by its index.
    if (address % 2 != 0) {
      if (modbus) {
        err(kLogMajor, "KOVRIN> Parse() 32 bit gates must have ODD address for MODBUS");
      } else {
        err(kLogMajor, "KOVRIN> Parse() 32 bit gates must have EVEN address for J-BUS");
      }
      return AddressResult::kRefused;
    }
    request->address = address / 2;
  } else if (memoryType == kMemCoils || memoryType == kMemInputs || request->bit != -1) {
    request->width = 1;
  }
  return AddressResult::kAccepted;
}

char UpcaseAscii(char c) {
  if (static_cast<signed char>(c) >= 'a') return static_cast<char>(c - 0x20);
  return c;
}
