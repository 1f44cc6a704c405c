#include "fuzz/transfer_gate.h"

namespace {

struct AreaKind {
  int32_t memoryType;
  int32_t blockLimit;  // what BlockAddressParser lets through
};

// Holding registers and their bytes have no block limit in the parser; 300
// goes past what one frame carries.
const AreaKind kAreas[] = {
    {kMemCoils, 2000},    {kMemInputs, 2000},  {kMemInputRegisters, 125}, {kMemHoldingRegisters, 300},
    {kMemInputFloat, 62}, {kMemInputLong, 62}, {kMemHoldingFloat, 62},    {kMemHoldingLong, 62},
    {kMemLowByte, 300},   {kMemHighByte, 300}, {kMemReport, 1},
};
constexpr int kAreaCount = sizeof kAreas / sizeof kAreas[0];

const char* const kTriggerGas[] = {"!R01", "!r07", "!R99"};

}  // namespace

uint32_t CommandOf(TransferKind kind) {
  switch (kind) {
    case TransferKind::kSingleRead:
      return kCmdSingleRead;
    case TransferKind::kBlockRead:
      return kCmdBlockRead;
    case TransferKind::kBlockWrite:
      return kCmdBlockWrite;
    default:
      return kCmdSingleWrite;
  }
}

bool IsBlock(TransferKind kind) {
  return kind == TransferKind::kBlockRead || kind == TransferKind::kBlockWrite;
}

bool IsWrite(TransferKind kind) {
  return kind == TransferKind::kSingleWrite || kind == TransferKind::kBlockWrite ||
         kind == TransferKind::kReport;
}

TransferCase TransferCaseFrom(FuzzInput& input) {
  TransferCase c{};
  const uint8_t r0 = input.Byte();
  const uint8_t r1 = input.Byte();
  const uint8_t r2 = input.Byte();
  const uint16_t r34 = input.U16();
  const uint8_t plc = input.Byte();
  const uint16_t address = input.U16();

  c.kind = static_cast<TransferKind>(r0 % static_cast<uint8_t>(TransferKind::kCount));
  GateTransfer& g = c.gate;
  g.plc = plc;
  g.address = address;
  g.count = 1;
  g.bit = -1;

  if (c.kind == TransferKind::kReport) {
    g.gas = kTriggerGas[r1 % 3];
    g.memoryType = kMemReport;
    g.gateType = kGateRegisterOrTrigger;
    g.width = 16;
    g.address = 0;
    c.value = static_cast<uint16_t>(r2 % 18);  // 0 and 17 are refused
    c.reportLineGates = r34 % 111;
    return c;
  }

  const AreaKind& area = kAreas[r1 % kAreaCount];
  g.memoryType = area.memoryType;
  g.gas = "";
  const bool block = IsBlock(c.kind);
  const bool bitArea = g.memoryType == kMemInputRegisters || g.memoryType == kMemHoldingRegisters ||
                       g.memoryType == kMemLowByte || g.memoryType == kMemHighByte;
  if (!block && bitArea && (r2 & 0x80)) g.bit = r2 & 0x0F;

  switch (g.memoryType) {
    case kMemCoils:
    case kMemInputs:
      g.width = 1;
      g.gateType = kGateDigital;
      break;
    case kMemInputFloat:
    case kMemHoldingFloat:
      g.width = 32;
      g.gateType = kGateFloat;
      break;
    case kMemInputLong:
    case kMemHoldingLong:
      g.width = 32;
      g.gateType = (r2 & 1) ? kGateLong : kGateInt32;
      break;
    case kMemReport:  // a report-line gate, which is no register
      g.width = 16;
      g.gateType = kGateText;
      g.gas = "R0101001";
      g.address = 0;
      break;
    default:
      g.width = g.bit != -1 ? 1 : 16;
      g.gateType = g.bit != -1 ? kGateDigital : static_cast<int32_t>(r2 % 3);
      break;
  }
  if (g.width == 32 && !(r2 & 0x40)) g.address &= 0x7FFF;  // a pair index
  if (block) g.count = r34 % (area.blockLimit + 1);        // 0 passes the parser too
  c.value = r34;
  return c;
}
