#include "address/gas_parser.h"

#include <cstdint>
#include <cstring>

#include "address/field_scan.h"
#include "host_interface/host_library.h"

namespace kovrin {

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

namespace {

// The GAS as the steps below read it: exactly n characters, a missing bit
// number completed with a space.
struct GasText {
  char text[kGasPositions + 1];
  size_t n;
};

// Takes the host's string, of any length, without reading past the longest
// valid GAS.
bool CopyGas(const char* gas, size_t n, GasText* copy) {
  const size_t length = strnlen(gas, n + 1);
  if (length != n && length != n - 1) {
    err(kLogMajor, "KOVRIN> Parse() Wrong size of gas, '%.*s'", kShownGasMax, gas);
    return false;
  }
  std::memcpy(copy->text, gas, length);
  if (length == n - 1) copy->text[n - 1] = ' ';
  copy->text[n] = '\0';
  copy->n = n;
  return true;
}

// Every position holds one of its characters, and the positions agree with
// each other and with the base.
bool CheckCharacters(const GasText& gas, bool hex, bool longDecimal) {
  const char* copy = gas.text;
  const size_t n = gas.n;
  for (unsigned i = 0; i < n; ++i) {
    if (!CharAllowed(GasPositionTable[i], copy[i])) {
      err(kLogDetail, "KOVRIN> Parse() illegal char #%u, %c in '%s'", i, copy[i], copy);
      return false;
    }
  }
  const char typeChar = copy[2];
  const char bitChar = copy[n - 1];
  if (longDecimal && copy[7] == ' ' && copy[8] != ' ') {
    err(kLogMajor, "KOVRIN> Parse() illegal GAS:'%s'", copy);
    return false;
  }
  if ((typeChar == '0' || typeChar == '1') && bitChar != ' ') {
    err(kLogMajor, "KOVRIN> Parse() illegal GAS:'%s'", copy);
    return false;
  }
  if (!hex && !AllDecimalDigits(copy, n - 1)) {
    err(kLogDetail, "KOVRIN> Parse() illegal GAS:'%s' for decimal base ", copy);
    return false;
  }
  return true;
}

bool ScanStation(const GasText& gas, bool hex, int* plc) {
  if (ScanField(gas.text, hex ? "%02x" : "%02d", plc)) return true;
  err(kLogDetail, "KOVRIN> Parse() illegal PLC address, '%s'", gas.text);
  return false;
}

// The register (or coil) number the frames carry: Modbus GAS addresses count
// from 1, J-BUS ones from 0.
bool ScanRegister(const GasText& gas, bool hex, bool longDecimal, bool modbus, int* address) {
  const char* addressFormat = hex ? "%04x" : longDecimal ? "%05d" : "%04d";
  if (!ScanField(gas.text + 3, addressFormat, address)) {
    err(kLogDetail, "KOVRIN> Parse() illegal address, '%s'", gas.text);
    return false;
  }
  if (modbus) {
    if (*address == 0) {
      err(kLogDetail, "KOVRIN> Parse() illegal addr. 0 for Modbus, '%s'", gas.text);
      return false;
    }
    --*address;
  }
  if (*address > kMaxRegisterAddress) {
    err(kLogDetail, "KOVRIN> Parse() illegal address, '%s'", gas.text);
    return false;
  }
  return true;
}

// The bit number of the last position; -1 when there is none.
bool ScanBit(const GasText& gas, int32_t* bit) {
  *bit = -1;
  if (gas.text[gas.n - 1] == ' ') return true;
  int scanned = 0;
  if (!ScanField(gas.text + gas.n - 1, "%01x", &scanned)) {
    err(kLogDetail, "KOVRIN> Parse() illegal bitnumber in '%s'", gas.text);
    return false;
  }
  *bit = scanned;
  return true;
}

// A 32-bit gate names a register pair: by its first register with LONGADDR,
// else by the pair's index, which the address must be a multiple of two for.
bool SetWidth(const VpiInstance* instance, bool modbus, ParseRequest* request) {
  const int32_t memoryType = request->memoryType;
  request->width = 16;
  if (memoryType >= kMemInputFloat && memoryType <= kMemHoldingLong) {
    request->width = 32;
    if (instance->flags & kFlagLongAddr) return true;
    if (request->address % 2 != 0) {
      if (modbus) {
        err(kLogMajor, "KOVRIN> Parse() 32 bit gates must have ODD address for MODBUS");
      } else {
        err(kLogMajor, "KOVRIN> Parse() 32 bit gates must have EVEN address for J-BUS");
      }
      return false;
    }
    request->address /= 2;
  } else if (memoryType == kMemCoils || memoryType == kMemInputs || request->bit != -1) {
    request->width = 1;
  }
  return true;
}

}  // namespace

AddressResult Parse(VpiInstance* instance, ParseRequest* request) {
  const bool hex = instance->base == 'H';
  const bool longDecimal = instance->base == 'L';
  const bool modbus = instance->protocol == 'M';
  GasText gas;
  if (!CopyGas(request->gas != nullptr ? request->gas : "", longDecimal ? 9 : 8, &gas)) {
    return AddressResult::kRefused;
  }
  if (!CheckCharacters(gas, hex, longDecimal)) return AddressResult::kRefused;

  int plc = 0;
  if (!ScanStation(gas, hex, &plc)) return AddressResult::kRefused;
  request->plc = plc;

  int address = 0;
  if (!ScanRegister(gas, hex, longDecimal, modbus, &address)) return AddressResult::kRefused;
  request->address = address;
  request->memoryType = MemoryTypeOf(gas.text[2]);

  if (!ScanBit(gas, &request->bit)) return AddressResult::kRefused;
  return SetWidth(instance, modbus, request) ? AddressResult::kAccepted : AddressResult::kRefused;
}

char UpcaseAscii(char c) {
  if (static_cast<signed char>(c) >= 'a') return static_cast<char>(c - 0x20);
  return c;
}

}  // namespace kovrin
