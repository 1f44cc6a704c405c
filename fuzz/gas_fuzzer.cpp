// Gate address strings through SingleAddressParser and BlockAddressParser,
// for every number base, protocol, LONGADDR setting, gate type and block
// size. The first input bytes choose those; the rest is the string. An
// accepted ordinary address must give fields in their ranges, consistent
// with the gate type or block size, and must spell itself again when the
// fields are written back in the same base.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "fuzz/driver_harness.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "tests/support/host_session.h"

namespace {

const char kBases[] = {'D', 'H', 'L', 'X'};

bool KnownMemoryType(int32_t t) {
  return (t >= 0 && t <= 8 && t != 2) || t == kMemLowByte || t == kMemHighByte || t == kMemReport ||
         t == kMemStationHealth;
}

// The GAS that the fields spell in base (completed with a space when there
// is no bit number).
std::string Respell(const ParseRequest& p, char base, char protocol, bool longAddr) {
  int64_t address = p.address;
  if (p.width == 32 && !longAddr) address *= 2;
  if (protocol == 'M') address += 1;
  char typeChar = static_cast<char>('0' + p.memoryType);
  if (p.memoryType == kMemLowByte) typeChar = 'L';
  if (p.memoryType == kMemHighByte) typeChar = 'H';
  char text[32];
  if (base == 'H') {
    std::snprintf(text, sizeof text, "%02X%c%04llX", p.plc, typeChar,
                  static_cast<unsigned long long>(address));
  } else if (base == 'L') {
    std::snprintf(text, sizeof text, "%02d%c%05lld", p.plc, typeChar, static_cast<long long>(address));
  } else {
    std::snprintf(text, sizeof text, "%02d%c%04lld", p.plc, typeChar, static_cast<long long>(address));
  }
  std::string gas = text;
  if (p.bit == -1) {
    gas += ' ';
  } else {
    std::snprintf(text, sizeof text, "%X", p.bit);
    gas += text;
  }
  return gas;
}

void CheckAccepted(const ParseRequest& p, const std::string& gas, char base, char protocol, bool longAddr,
                   bool block) {
  FUZZ_CHECK(p.plc >= 0 && p.plc <= 255, "plc %d", p.plc);
  FUZZ_CHECK(KnownMemoryType(p.memoryType), "memoryType %d", p.memoryType);
  FUZZ_CHECK(p.bit >= -1 && p.bit <= 15, "bit %d", p.bit);
  FUZZ_CHECK(p.width == 1 || p.width == 16 || p.width == 32, "width %d", p.width);
  FUZZ_CHECK(p.address >= 0 && p.address <= 0xFFFF, "address %d", p.address);
  FUZZ_CHECK((p.width == 32) == (p.memoryType >= 5 && p.memoryType <= 8), "width %d for memoryType %d",
             p.width, p.memoryType);

  if (p.memoryType == kMemStationHealth) {
    FUZZ_CHECK(!block && p.gateType >= kGateRegisterOrTrigger && p.gateType <= kGateInt16,
               "a station health address");
    FUZZ_CHECK(p.plc >= 1 && p.plc <= 255 && p.address == 0 && p.bit == -1 && p.width == 16,
               "station health fields");
    return;
  }
  if (p.memoryType == kMemReport) {
    FUZZ_CHECK(!block && (p.gateType == kGateRegisterOrTrigger || p.gateType == kGateText),
               "a report address");
    FUZZ_CHECK(p.plc >= 1 && p.address == 0 && p.bit == -1 && p.width == 16, "report fields");
    return;
  }
  if (block) {
    FUZZ_CHECK(p.bit == -1, "a block with a bit number");
    const int32_t area = p.memoryType & 0xFF;
    if (p.memoryType <= 1) FUZZ_CHECK(p.blockSize <= 2000, "block of %d bits", p.blockSize);
    if (area == 3) FUZZ_CHECK(p.blockSize <= 125, "block of %d input registers", p.blockSize);
    if (area > 4) FUZZ_CHECK(p.blockSize <= 62, "block of %d long values", p.blockSize);
  } else {
    FUZZ_CHECK(p.gateType != kGateText, "a text gate took an ordinary address");
    if (p.bit != -1 || p.memoryType <= 1) {
      FUZZ_CHECK(p.gateType == kGateDigital, "a bit for gate type %d", p.gateType);
    } else if (p.width == 32) {
      FUZZ_CHECK(p.gateType >= kGateFloat && p.gateType <= kGateLong, "gate type %d for a long area",
                 p.gateType);
    } else {
      FUZZ_CHECK(p.gateType >= kGateRegisterOrTrigger && p.gateType <= kGateInt16,
                 "gate type %d for a register", p.gateType);
    }
  }
  std::string completed = gas;
  const size_t n = base == 'L' ? 9 : 8;
  if (completed.size() == n - 1) completed += ' ';
  const std::string respelt = Respell(p, base == 'X' ? 'D' : base, protocol, longAddr);
  FUZZ_CHECK(respelt == completed, "'%s' parsed into fields that spell '%s'", completed.c_str(),
             respelt.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  FuzzInput input(data, size);
  const uint8_t b0 = input.Byte();
  const char base = kBases[b0 % 4];
  const char protocol = (b0 & 4) ? 'J' : 'M';
  const bool longAddr = (b0 & 8) != 0;
  const bool block = (b0 & 16) != 0;
  const bool nullGas = (b0 & 0xE0) == 0xE0;
  const int32_t gateType = input.I32();
  const int32_t blockSize = input.I32();
  size_t length = 0;
  const uint8_t* rest = input.Rest(&length);

  // The string at its exact size, so that reading past its end is caught.
  char* gas = new char[length + 1];
  std::memcpy(gas, rest, length);
  gas[length] = '\0';
  const std::string text(gas);

  HostSession session;
  VpiInstance* instance = &session.instance();
  std::memset(static_cast<void*>(instance), 0xCD, sizeof *instance);
  instance->base = base;
  instance->protocol = protocol;
  instance->flags = longAddr ? kFlagLongAddr : 0;

  ParseRequest parse{};
  parse.gas = nullGas ? nullptr : gas;
  parse.reserved = 0xBEBEBEBEu;
  parse.gateType = gateType;
  parse.blockSize = blockSize;
  const int32_t result = session.Call(block ? kCmdBlockAddressParser : kCmdSingleAddressParser, &parse);

  FUZZ_CHECK(result == kResultDone || result == kResultFailed, "parser gave %d", result);
  FUZZ_CHECK(parse.gas == (nullGas ? nullptr : gas) && parse.reserved == 0xBEBEBEBEu &&
                 parse.gateType == gateType && parse.blockSize == blockSize,
             "the parser changed an input field");
  FUZZ_CHECK(text == gas, "the parser changed the host's string");
  if (result == kResultDone) {
    FUZZ_CHECK(!nullGas, "a missing address was accepted");
    CheckAccepted(parse, text, base, protocol, longAddr, block);
  }
  delete[] gas;
  return 0;
}
