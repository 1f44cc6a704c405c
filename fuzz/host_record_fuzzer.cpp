// Host records with hostile values: every field of the GateTransfer
// (count, width, memoryType, bit, gateType, plc, address) across its whole
// range, and assorted address strings, for the four transfer commands, with
// the line scripted from the rest of the input. Besides the invariants of
// every command (driver_harness.h), a write request goes out only for a
// record the address parsers could have produced for a writable gate, and a
// report fetch sends nothing but function 65. The record itself is the
// host's and never changes; a bit 8-F of a high-byte gate sends nothing,
// and a write to station 0 (broadcast) goes out at most once. A read's
// record carries a gas that points at poisoned memory, as a host's stale
// pointer does (it fills gas for SingleWrite only): a read must never look
// at it.

#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstring>

#include "fuzz/driver_harness.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/line_script.h"
#include "tests/support/fake_line.h"
#include "tests/support/same_record.h"
#include "transfer/value_area.h"

using namespace kovrin;

namespace {

const uint32_t kCommands[] = {kCmdSingleRead, kCmdBlockRead, kCmdSingleWrite, kCmdBlockWrite};

const char* const kGasChoices[] = {"",  "0140010",  "!R01", "!r",
                                   "!", "R0101001", "!R0",  "!RRRRRRRRRRRRRRRRRRRRRRRRRRRRR"};
constexpr int kGasChoiceCount = sizeof kGasChoices / sizeof kGasChoices[0];

// What a read's gas points at; poisoned under AddressSanitizer.
alignas(64) char g_staleGas[64] = "0140010";

const char* StaleGas() {
  static const bool poisoned = [] {
    ASAN_POISON_MEMORY_REGION(g_staleGas, sizeof g_staleGas);
    return true;
  }();
  (void)poisoned;
  return g_staleGas;
}

// The records SingleAddressParser and BlockAddressParser can leave for a
// gate that may be written.
// A block's bit number means nothing (the block parser refuses one) and is
// not looked at.
bool ParsedWritableGate(const GateTransfer& g, bool block) {
  const bool hasBit = g.bit >= 0 && g.bit <= 15;
  const bool noBit = block || g.bit == -1;
  switch (g.memoryType) {
    case kMemCoils:
      return g.width == 1 && noBit;
    case kMemHoldingRegisters:
    case kMemLowByte:
    case kMemHighByte:
      if (block) return g.memoryType == kMemHoldingRegisters && g.width == 16;
      return (g.width == 16 && noBit) || (g.width == 1 && hasBit);
    case kMemHoldingFloat:
    case kMemHoldingLong:
      return g.width == 32 && noBit;
    default:
      return false;
  }
}

bool ReportTrigger(const GateTransfer& g) {
  return (g.gateType == kGateRegisterOrTrigger || g.memoryType == kMemReport) && g.gas != nullptr &&
         g.gas[0] == '!' && (g.gas[1] == 'R' || g.gas[1] == 'r');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  FuzzInput input(data, size);
  const uint8_t settings = input.Byte();
  const uint8_t choice = input.Byte();
  const uint32_t command = kCommands[choice % 4];
  const bool block = command == kCmdBlockRead || command == kCmdBlockWrite;
  const bool write = command == kCmdSingleWrite || command == kCmdBlockWrite;

  GateTransfer gate{};
  gate.plc = input.I32();
  gate.memoryType = input.I32();
  gate.address = input.I32();
  gate.bit = input.I32();
  gate.width = input.I32();
  gate.gateType = input.I32();
  gate.count = input.I32();
  gate.reserved1 = 0xBEBEBEBEu;
  gate.reserved2 = 0xBEBEBEBEu;
  const uint8_t gasChoice = input.Byte();
  gate.gas = (gasChoice & 0x80) ? nullptr : kGasChoices[gasChoice % kGasChoiceCount];
  if (!write) gate.gas = StaleGas();
  const uint16_t value = input.U16();
  ScriptFakeLine(input);

  FakeLineDriver driver(settings);
  ValueArea area(AreaSizeFor(gate, block, write), choice);
  if (!block) StoreLe16(area.data() + 2, value);
  area.Snapshot();
  gate.values = area.data();
  const GateTransfer original = gate;

  area.Guard();
  const int32_t result = driver.Transfer(command, &gate);
  area.Unguard();

  FUZZ_CHECK(gate.reserved1 == 0xBEBEBEBEu && gate.reserved2 == 0xBEBEBEBEu,
             "the record's reserved fields changed");
  FUZZ_CHECK(SameRecordWithReserved(gate, original), "the record changed");
  if (gate.memoryType == kMemHighByte && gate.bit >= 8 && gate.bit <= 15 && !block &&
      !(command == kCmdSingleWrite && ReportTrigger(original))) {
    FUZZ_CHECK(FakeLineRequestCount() == 0, "a bit %d of a high-byte gate went out", gate.bit);
  }
  if (write && static_cast<uint8_t>(gate.plc) == 0 && !ReportTrigger(original)) {
    FUZZ_CHECK(FakeLineRequestCount() <= 1, "a broadcast write went out %d times", FakeLineRequestCount());
  }
  if (write || result != kResultDone) {
    area.CheckUnchanged(write ? "a write" : "a failed read");
  } else {
    size_t offset = 0;
    size_t length = 0;
    FUZZ_CHECK(ReadLayout(gate, block, &offset, &length), "a read of width %d succeeded", gate.width);
    area.CheckUnchangedOutside(offset, length, "a successful read");
  }

  if (write && FakeLineRequestCount() > 0) {
    const uint8_t* request = nullptr;
    FakeLineLastRequest(&request);
    const uint8_t function = request[1];
    if (command == kCmdSingleWrite && ReportTrigger(original)) {
      FUZZ_CHECK(function == 65, "a report fetch sent function %u", function);
    } else {
      const bool writeFunction = function == 5 || function == 6 || function == 15 || function == 16;
      FUZZ_CHECK(!writeFunction || ParsedWritableGate(original, block),
                 "a write (function %u) went out for memoryType %d width %d bit %d", function,
                 original.memoryType, original.width, original.bit);
    }
  }
  return 0;
}
