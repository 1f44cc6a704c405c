// The two address parser commands: SingleAddressParser (3) checks a single
// gate's address against its gate type, BlockAddressParser (4) a block
// gate's address against its block size.

#include <cstdint>

#include "address/address_commands.h"
#include "address/gas_parser.h"
#include "address/health_address.h"
#include "address/report_address.h"
#include "host_interface/host_library.h"
#include "host_interface/instance.h"

namespace kovrin {

namespace {

constexpr uint32_t GateTypeBit(int32_t gateType) { return 1u << gateType; }

// The gate types a memory area (low byte of MemoryType) takes when the gate
// has no bit number, and the complaint for any other.
struct AreaRule {
  int32_t area;
  uint32_t acceptedGateTypes;
  const char* complaint;
};

constexpr char kShouldBeDigital[] = "KOVRIN> SingleParse() gate type should be DIGITAL";
constexpr char kShouldBeInt16[] = "KOVRIN> SingleParse() gate type should be 16-bit INTEGER";
constexpr char kShouldBeFloat[] = "KOVRIN> SingleParse() gate type should be FLOAT";
constexpr char kShouldBeInt32[] = "KOVRIN> SingleParse() gate type should be 32-bit INTEGER";

constexpr uint32_t kRegisterGateTypes =
    GateTypeBit(kGateRegisterOrTrigger) | GateTypeBit(kGateRegister) | GateTypeBit(kGateInt16);
constexpr uint32_t kLongGateTypes = GateTypeBit(kGateInt32) | GateTypeBit(kGateLong);

constexpr AreaRule kAreaRules[] = {
    {kMemCoils, GateTypeBit(kGateDigital), kShouldBeDigital},
    {kMemInputs, GateTypeBit(kGateDigital), kShouldBeDigital},
    {kMemInputRegisters, kRegisterGateTypes, kShouldBeInt16},
    {kMemHoldingRegisters, kRegisterGateTypes, kShouldBeInt16},
    {kMemInputFloat, GateTypeBit(kGateFloat), kShouldBeFloat},
    {kMemHoldingFloat, GateTypeBit(kGateFloat), kShouldBeFloat},
    {kMemInputLong, kLongGateTypes, kShouldBeInt32},
    {kMemHoldingLong, kLongGateTypes, kShouldBeInt32},
    {kMemStationHealth, kRegisterGateTypes, kShouldBeInt16},
};

bool GateTypeIn(uint32_t accepted, int32_t gateType) {
  return gateType >= 0 && gateType < 32 && (accepted & GateTypeBit(gateType)) != 0;
}

AddressResult CheckGateTypeForArea(int32_t area, int32_t gateType) {
  for (const AreaRule& rule : kAreaRules) {
    if (rule.area != area) continue;
    if (GateTypeIn(rule.acceptedGateTypes, gateType)) return AddressResult::kAccepted;
    err(kLogMajor, "%s", rule.complaint);
    return AddressResult::kRefused;
  }
  return AddressResult::kRefused;  // no gate type fits an area Parse never yields
}

// Block sizes above these are refused; the limits themselves are accepted.
constexpr int32_t kMaxBitBlock = 2000;
constexpr int32_t kMaxInputRegisterBlock = 125;
constexpr int32_t kMaxLongBlock = 62;

AddressResult CheckSingle(VpiInstance* instance, ParseRequest* parse) {
  const int32_t gateType = parse->gateType;

  const AddressResult health = ParseStationHealth(instance, parse);
  if (health == AddressResult::kAccepted) return CheckGateTypeForArea(kMemStationHealth, gateType);
  if (health != AddressResult::kNotThisForm) return health;

  if (gateType == kGateText) return ParseReportLine(instance, parse);
  if (gateType == kGateRegisterOrTrigger) {
    const AddressResult trigger = ParseReportTrigger(instance, parse);
    if (trigger != AddressResult::kNotThisForm) return trigger;
  }

  const AddressResult parsed = Parse(instance, parse);
  if (parsed != AddressResult::kAccepted) return parsed;

  if (gateType == kGateDigital && parse->width == 32) {
    err(kLogMajor, "KOVRIN> SingleParse() no digital gates allowed from long memory area");
    return AddressResult::kRefused;
  }
  if (parse->bit != -1) {
    if (gateType == kGateDigital) return AddressResult::kAccepted;
    err(kLogMajor, "%s", kShouldBeDigital);
    return AddressResult::kRefused;
  }
  return CheckGateTypeForArea(parse->memoryType & 0xFF, gateType);
}

AddressResult CheckBlock(VpiInstance* instance, ParseRequest* parse) {
  const AddressResult parsed = Parse(instance, parse);
  if (parsed != AddressResult::kAccepted) return parsed;

  if (parse->bit != -1) {
    err(kLogMajor, "KOVRIN> BlockParse() no spec. digital gates as block!");
    return AddressResult::kRefused;
  }
  const int32_t memoryType = parse->memoryType;
  const int32_t area = memoryType & 0xFF;
  const int32_t blockSize = parse->blockSize;
  if ((memoryType == kMemCoils || memoryType == kMemInputs) && blockSize > kMaxBitBlock) {
    err(kLogMajor, "KOVRIN> BlockParse() blocksize should be < 2000!");
    return AddressResult::kRefused;
  }
  if (area == kMemInputRegisters && blockSize > kMaxInputRegisterBlock) {
    err(kLogMajor, "KOVRIN> BlockParse() blocksize should be < 125");
    return AddressResult::kRefused;
  }
  if (area > kMemHoldingRegisters && blockSize > kMaxLongBlock) {
    err(kLogMajor, "KOVRIN> BlockParse() blocksize should be < 62");
    return AddressResult::kRefused;
  }
  return AddressResult::kAccepted;
}

// The host's result for a check that ended so.
int32_t HostResultFor(AddressResult result) {
  return result == AddressResult::kAccepted ? kResultDone : kResultFailed;
}

}  // namespace

int32_t SingleAddressParser(VpiInstance* instance, ParseRequest* parse) {
  return HostResultFor(CheckSingle(instance, parse));
}

int32_t BlockAddressParser(VpiInstance* instance, ParseRequest* parse) {
  return HostResultFor(CheckBlock(instance, parse));
}

}  // namespace kovrin
