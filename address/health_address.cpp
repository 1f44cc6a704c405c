#include "address/health_address.h"

#include <cstring>

#include "address/field_scan.h"
#include "address/gas_parser.h"
#include "host_interface/host_library.h"

namespace kovrin {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsStationHealth(const char* gas) {
  return gas[0] == '!' && gas[1] != '\0' && UpcaseAscii(gas[1]) == 'S';
}

}  // namespace

AddressResult ParseStationHealth(VpiInstance* instance, ParseRequest* request) {
  const char* gas = request->gas != nullptr ? request->gas : "";
  if (!IsStationHealth(gas)) return AddressResult::kNotThisForm;
  request->bit = -1;
  request->width = 16;
  if (strnlen(gas, kHealthAddressLength + 1) != kHealthAddressLength) {
    err(kLogDetail, "KOVRIN> Parse() a station health gate is !S and two digits, '%s'", gas);
    return AddressResult::kRefused;
  }
  char copy[kHealthAddressLength + 1];
  std::memcpy(copy, gas, kHealthAddressLength + 1);
  copy[1] = 'S';
  const bool hex = instance->base == 'H';
  int station = 0;
  // In the decimal bases scanf would take "1A" for 1: such a number is none.
  const bool digits = CharAllowed(kHexDigits, copy[2]) && CharAllowed(kHexDigits, copy[3]) &&
                      (hex || AllDecimalDigits(copy + 2, 2));
  if (!digits || !ScanField(copy + 2, hex ? "%02x" : "%02d", &station) || station < 1) {
    err(kLogDetail, "KOVRIN> Parse() illegal PLC address, '%s'", copy);
    return AddressResult::kRefused;
  }
  request->plc = station;
  request->address = 0;
  request->memoryType = kMemStationHealth;
  instance->flags = static_cast<uint16_t>(instance->flags | kFlagStationWatch);
  return AddressResult::kAccepted;
}

}  // namespace kovrin
