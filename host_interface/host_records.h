// Records shared with the host. Their layouts are fixed by the host: fields,
// order and widths below must not change. The records without pointers have
// one layout everywhere; the others are asserted at the 32-bit host's offsets
// on 32-bit targets and at their natural offsets (8-byte pointers) on 64-bit
// ones, which the x86-64 test builds and the native host program rely on.
#pragma once

#include <cstddef>
#include <cstdint>

// Result of every command.
enum DriverResult : int32_t {
  kResultDone = 0,
  kResultFailed = 1,      // refused, or failed on checksum / exception / wrong replies
  kResultTransport = 2,   // transport, port or dispatch failure
  kResultCancelled = 53,  // browse dialog not ended with OK
};

// Memory area of a gate. The low byte selects the read function.
enum MemoryType : int32_t {
  kMemCoils = 0,
  kMemInputs = 1,
  kMemInputRegisters = 3,
  kMemHoldingRegisters = 4,
  kMemInputFloat = 5,
  kMemInputLong = 6,
  kMemHoldingFloat = 7,
  kMemHoldingLong = 8,
  kMemReport = 65,
  kMemStationHealth = 83,  // 'S': a station's health, read without a request
  kMemLowByte = 260,       // 0x104
  kMemHighByte = 516,      // 0x204
};

// The host's kind of a gate's value.
enum GateType : int32_t {
  kGateRegisterOrTrigger = 0,  // register, or report trigger
  kGateRegister = 1,
  kGateInt16 = 2,
  kGateFloat = 3,
  kGateInt32 = 4,
  kGateLong = 5,
  kGateDigital = 6,
  kGateText = 7,  // report line
};

enum Command : uint32_t {
  kCmdColdStart = 1,
  kCmdWarmStart = 2,
  kCmdSingleAddressParser = 3,
  kCmdBlockAddressParser = 4,
  kCmdSingleRead = 5,
  kCmdBlockRead = 6,
  kCmdSingleWrite = 7,
  kCmdBlockWrite = 10,
  kCmdEndVpi = 11,
  kCmdCloseCom = 12,
  kCmdReOpenCom = 13,
  kCmdGetVpiInfo = 14,
  kCmdChangeVpiParams = 15,
  kCmdBrowseAddress = 16,
  kCommandSlots = 17,
};

struct VpiRequest {
  void* instance;        // the VpiInstance of this driver instance
  uint32_t command;      // 1 to 17
  int32_t driverNumber;  // selects the init file and the client name
  uint32_t reserved;     // not read
  void* params;          // the command's parameter record
};

struct VpiInfo {
  int32_t hostInfoA;
  const char* name;
  const char* description;
  uint32_t instanceSize;
  int32_t hostInfoB;
  uint16_t defaultBaud;
  int16_t defaultDataBits;
  int16_t defaultStopBits;
  int16_t defaultParity;
  int32_t hostInfoC;
};

struct ColdStartParams {
  char portName[12];
  uint32_t portInUse;
  uint32_t replyTimeout;  // units of 10 ms
  uint16_t baud;
  int16_t dataBits;
  int16_t stopBits;
  int16_t parity;
};

struct ChangeParams {
  char portName[12];
  int32_t replyTimeout;  // 0 or -1 keeps the current one
  uint16_t baud;         // 0 keeps all four line parameters
  int16_t dataBits;
  int16_t stopBits;
  int16_t parity;
};

struct ParseRequest {
  const char* gas;
  uint32_t reserved;
  int32_t gateType;
  int32_t blockSize;
  int32_t plc;
  int32_t memoryType;
  int32_t address;
  int32_t bit;
  int32_t width;
};

struct GateTransfer {
  const char* gas;
  uint32_t reserved1;
  int32_t plc;
  int32_t memoryType;
  int32_t address;
  int32_t bit;
  int32_t width;
  int32_t gateType;
  int32_t count;
  uint32_t reserved2;
  void* values;
};

struct BrowseRequest {
  char* gasBuffer;  // receives the composed address string; at least 10 bytes
};

#define KOVRIN_ASSERT_OFFSET(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), #type "." #field " offset")

// No pointers: the same on every target.
KOVRIN_ASSERT_OFFSET(ColdStartParams, portName, 0);
KOVRIN_ASSERT_OFFSET(ColdStartParams, portInUse, 12);
KOVRIN_ASSERT_OFFSET(ColdStartParams, replyTimeout, 16);
KOVRIN_ASSERT_OFFSET(ColdStartParams, baud, 20);
KOVRIN_ASSERT_OFFSET(ColdStartParams, dataBits, 22);
KOVRIN_ASSERT_OFFSET(ColdStartParams, stopBits, 24);
KOVRIN_ASSERT_OFFSET(ColdStartParams, parity, 26);
static_assert(sizeof(ColdStartParams) == 28);

KOVRIN_ASSERT_OFFSET(ChangeParams, portName, 0);
KOVRIN_ASSERT_OFFSET(ChangeParams, replyTimeout, 12);
KOVRIN_ASSERT_OFFSET(ChangeParams, baud, 16);
KOVRIN_ASSERT_OFFSET(ChangeParams, dataBits, 18);
KOVRIN_ASSERT_OFFSET(ChangeParams, stopBits, 20);
KOVRIN_ASSERT_OFFSET(ChangeParams, parity, 22);
static_assert(sizeof(ChangeParams) == 24);

#if UINTPTR_MAX == 0xFFFFFFFFu
KOVRIN_ASSERT_OFFSET(VpiRequest, instance, 0);
KOVRIN_ASSERT_OFFSET(VpiRequest, command, 4);
KOVRIN_ASSERT_OFFSET(VpiRequest, driverNumber, 8);
KOVRIN_ASSERT_OFFSET(VpiRequest, params, 16);
static_assert(sizeof(VpiRequest) == 20);

KOVRIN_ASSERT_OFFSET(VpiInfo, hostInfoA, 0);
KOVRIN_ASSERT_OFFSET(VpiInfo, name, 4);
KOVRIN_ASSERT_OFFSET(VpiInfo, description, 8);
KOVRIN_ASSERT_OFFSET(VpiInfo, instanceSize, 12);
KOVRIN_ASSERT_OFFSET(VpiInfo, hostInfoB, 16);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultBaud, 20);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultDataBits, 22);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultStopBits, 24);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultParity, 26);
KOVRIN_ASSERT_OFFSET(VpiInfo, hostInfoC, 28);
static_assert(sizeof(VpiInfo) == 32);

KOVRIN_ASSERT_OFFSET(ParseRequest, gas, 0);
KOVRIN_ASSERT_OFFSET(ParseRequest, gateType, 8);
KOVRIN_ASSERT_OFFSET(ParseRequest, blockSize, 12);
KOVRIN_ASSERT_OFFSET(ParseRequest, plc, 16);
KOVRIN_ASSERT_OFFSET(ParseRequest, memoryType, 20);
KOVRIN_ASSERT_OFFSET(ParseRequest, address, 24);
KOVRIN_ASSERT_OFFSET(ParseRequest, bit, 28);
KOVRIN_ASSERT_OFFSET(ParseRequest, width, 32);
static_assert(sizeof(ParseRequest) == 36);

KOVRIN_ASSERT_OFFSET(GateTransfer, gas, 0);
KOVRIN_ASSERT_OFFSET(GateTransfer, plc, 8);
KOVRIN_ASSERT_OFFSET(GateTransfer, memoryType, 12);
KOVRIN_ASSERT_OFFSET(GateTransfer, address, 16);
KOVRIN_ASSERT_OFFSET(GateTransfer, bit, 20);
KOVRIN_ASSERT_OFFSET(GateTransfer, width, 24);
KOVRIN_ASSERT_OFFSET(GateTransfer, gateType, 28);
KOVRIN_ASSERT_OFFSET(GateTransfer, count, 32);
KOVRIN_ASSERT_OFFSET(GateTransfer, values, 40);
static_assert(sizeof(GateTransfer) == 44);

KOVRIN_ASSERT_OFFSET(BrowseRequest, gasBuffer, 0);
static_assert(sizeof(BrowseRequest) == 4);
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
KOVRIN_ASSERT_OFFSET(VpiRequest, instance, 0);
KOVRIN_ASSERT_OFFSET(VpiRequest, command, 8);
KOVRIN_ASSERT_OFFSET(VpiRequest, driverNumber, 12);
KOVRIN_ASSERT_OFFSET(VpiRequest, params, 24);
static_assert(sizeof(VpiRequest) == 32);

KOVRIN_ASSERT_OFFSET(VpiInfo, hostInfoA, 0);
KOVRIN_ASSERT_OFFSET(VpiInfo, name, 8);
KOVRIN_ASSERT_OFFSET(VpiInfo, description, 16);
KOVRIN_ASSERT_OFFSET(VpiInfo, instanceSize, 24);
KOVRIN_ASSERT_OFFSET(VpiInfo, hostInfoB, 28);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultBaud, 32);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultDataBits, 34);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultStopBits, 36);
KOVRIN_ASSERT_OFFSET(VpiInfo, defaultParity, 38);
KOVRIN_ASSERT_OFFSET(VpiInfo, hostInfoC, 40);
static_assert(sizeof(VpiInfo) == 48);

KOVRIN_ASSERT_OFFSET(ParseRequest, gas, 0);
KOVRIN_ASSERT_OFFSET(ParseRequest, gateType, 12);
KOVRIN_ASSERT_OFFSET(ParseRequest, blockSize, 16);
KOVRIN_ASSERT_OFFSET(ParseRequest, plc, 20);
KOVRIN_ASSERT_OFFSET(ParseRequest, memoryType, 24);
KOVRIN_ASSERT_OFFSET(ParseRequest, address, 28);
KOVRIN_ASSERT_OFFSET(ParseRequest, bit, 32);
KOVRIN_ASSERT_OFFSET(ParseRequest, width, 36);
static_assert(sizeof(ParseRequest) == 40);

KOVRIN_ASSERT_OFFSET(GateTransfer, gas, 0);
KOVRIN_ASSERT_OFFSET(GateTransfer, plc, 12);
KOVRIN_ASSERT_OFFSET(GateTransfer, memoryType, 16);
KOVRIN_ASSERT_OFFSET(GateTransfer, address, 20);
KOVRIN_ASSERT_OFFSET(GateTransfer, bit, 24);
KOVRIN_ASSERT_OFFSET(GateTransfer, width, 28);
KOVRIN_ASSERT_OFFSET(GateTransfer, gateType, 32);
KOVRIN_ASSERT_OFFSET(GateTransfer, count, 36);
KOVRIN_ASSERT_OFFSET(GateTransfer, values, 48);
static_assert(sizeof(GateTransfer) == 56);

KOVRIN_ASSERT_OFFSET(BrowseRequest, gasBuffer, 0);
static_assert(sizeof(BrowseRequest) == 8);
#else
#error "the host records' layouts are known for 32-bit and 64-bit targets only"
#endif
