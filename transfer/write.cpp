#include "transfer/write.h"

#include <cstring>

#include "host_interface/host_library.h"
#include "host_interface/instance.h"
#include "serial/frame.h"
#include "serial/line.h"
#include "transfer/exchange.h"
#include "transfer/read.h"
#include "transfer/report.h"
#include "transfer/value_area.h"

namespace kovrin {

namespace {

constexpr uint8_t kFunctionWriteCoil = 5;
constexpr uint8_t kFunctionWriteRegister = 6;
constexpr uint8_t kFunctionWriteCoils = 15;
constexpr uint8_t kFunctionWriteRegisters = 16;
constexpr int kSingleWriteLength = 6;    // station, function, address, value
constexpr int kMultipleWriteHeader = 7;  // station, function, address, quantity, byte count
constexpr uint8_t kCoilOn = 0xFF;        // the high byte of a coil's value (FF00 on, 0000 off)
constexpr uint16_t kRegistersPerValue32 = 2;
constexpr uint8_t kValue32Bytes = 4;
constexpr uint32_t kLowByteMask = 0xFF;
constexpr uint16_t kHighByteMask = 0xFF00;
constexpr uint32_t kValue32CellBytes = 8;  // a block's 32-bit values sit in 8-byte cells

// Function 5: one coil on or off.
int BuildWriteCoil(uint8_t* tx, uint8_t station, uint16_t address, bool on) {
  tx[0] = station;
  tx[1] = kFunctionWriteCoil;
  StoreBe16(tx + 2, address);
  tx[4] = on ? kCoilOn : 0x00;
  tx[5] = 0x00;
  return kSingleWriteLength;
}

// Function 6: one holding register.
int BuildWriteRegister(uint8_t* tx, uint8_t station, uint16_t address, uint16_t value) {
  tx[0] = station;
  tx[1] = kFunctionWriteRegister;
  StoreBe16(tx + 2, address);
  StoreBe16(tx + 4, value);
  return kSingleWriteLength;
}

// Functions 15 and 16: the header; the byteCount data bytes follow at
// tx + kMultipleWriteHeader. Gives the whole frame's length.
int BuildWriteMultiple(uint8_t* tx, uint8_t station, uint8_t function, uint16_t address, uint16_t quantity,
                       uint8_t byteCount) {
  tx[0] = station;
  tx[1] = function;
  StoreBe16(tx + 2, address);
  StoreBe16(tx + 4, quantity);
  tx[6] = byteCount;
  return kMultipleWriteHeader + byteCount;
}

uint8_t StationOf(const GateTransfer* gate) { return static_cast<uint8_t>(gate->plc); }

// Station 0 on the wire (the frame carries the plc's low 8 bits) is the
// broadcast address: every device carries the write out and none answers.
bool IsBroadcast(const GateTransfer* gate) { return StationOf(gate) == 0; }

// A low- or high-byte gate of a holding register.
bool IsByteGate(int32_t memoryType) { return memoryType == kMemLowByte || memoryType == kMemHighByte; }

// Holding registers and their byte gates share the read function's type in
// the low byte of the memory type.
bool IsHoldingRegisterGate(int32_t memoryType) {
  return (static_cast<uint32_t>(memoryType) & kLowByteMask) == kMemHoldingRegisters;
}

// Sends a broadcast once and leaves the devices the turnaround delay to
// carry it out before the next request; a transport failure when it did not
// go out.
TransferResult SendBroadcast(VpiInstance* instance, uint8_t* frame, int length) {
  StoreLastError(0);  // as for every write transaction
  if (SendRequest(instance, frame, length) != SendResult::kSent) {
    err(kLogMajor, "KOVRIN> DoWrite() broadcast (plc 0) not sent");
    return TransferResult::kTransport;
  }
  CurrentLine().sleep(kBroadcastTurnaroundMs);
  return TransferResult::kDone;
}

bool ReadOnlyArea(int32_t memoryType) {
  return memoryType == kMemInputs || memoryType == kMemInputRegisters || memoryType == kMemInputFloat ||
         memoryType == kMemInputLong;
}

// The four bytes of a 32-bit value, high word first.
void PutValue32(uint8_t* at, uint32_t value) {
  StoreBe16(at, static_cast<uint16_t>(value >> 16));
  StoreBe16(at + 2, static_cast<uint16_t>(value));
}

// Reads the register a bit or byte gate lives in, through a request of its
// own, so that the write can carry the register's other bits unchanged.
TransferResult PreRead(VpiInstance* instance, const GateTransfer* gate, uint16_t* current) {
  uint8_t area[4] = {0, 0, 0, 0};
  GateTransfer temporary{};
  temporary.gas = gate->gas;
  temporary.plc = gate->plc;
  temporary.memoryType = kMemHoldingRegisters;
  temporary.address = gate->address;
  temporary.bit = -1;
  temporary.width = 16;
  temporary.gateType = 0;
  temporary.count = 1;
  temporary.values = area;
  const TransferResult result = SingleReadTransaction(instance, &temporary);
  *current = LoadLe16(area + 2);
  return result;
}

// (current without bit `position`) with the new bit; a position outside the
// register leaves it unchanged.
uint16_t MergeBit(uint16_t current, int32_t position, uint16_t value) {
  if (position < 0 || position > 15) return current;
  const uint16_t mask = static_cast<uint16_t>(1u << position);
  return static_cast<uint16_t>((current & ~mask) | (value != 0 ? mask : 0));
}

// The register a 16-bit gate writes: the value itself, or the value merged
// into the register's current content for a byte or a bit of it.
uint16_t RegisterToWrite(const GateTransfer* gate, uint16_t value, uint16_t current, int32_t position) {
  if (IsHoldingRegisterGate(gate->memoryType) && gate->bit != -1) {
    return MergeBit(current, position, value);
  }
  if (gate->memoryType == kMemLowByte) {
    return static_cast<uint16_t>((current & kHighByteMask) | (value & kLowByteMask));
  }
  if (gate->memoryType == kMemHighByte) {
    return static_cast<uint16_t>(((value & kLowByteMask) << 8) | (current & kLowByteMask));
  }
  return value;
}

// The records the address parsers leave for a writable single gate. Any
// other memory type, or a width or bit that does not fit it, would write
// where the gate does not point (a coil's pre-read, a pair of registers for
// one, or a register of a type no address names).
bool SingleWritable(const GateTransfer* gate) {
  const bool registerBit = gate->bit >= 0 && gate->bit <= 15;
  switch (gate->memoryType) {
    case kMemCoils:
      return gate->width == 1 && gate->bit == -1;
    case kMemHoldingRegisters:
    case kMemLowByte:
    case kMemHighByte:
      return (gate->width == 16 && gate->bit == -1) || (gate->width == 1 && registerBit);
    case kMemHoldingFloat:
    case kMemHoldingLong:
      return gate->width == 32 && gate->bit == -1;
    default:
      return false;
  }
}

// Whether a single write of this gate can be carried out at all; logs why
// not.
bool SingleWriteAllowed(const GateTransfer* gate, bool preRead) {
  if (ReadOnlyArea(gate->memoryType)) {
    err(kLogDetail, "KOVRIN> SingleWrite() not allowed for types 1,3,5 and 6");
    return false;
  }
  if (gate->memoryType == kMemReport) {
    // A report line takes text from a report fetch; it has no register.
    err(kLogDetail, "KOVRIN> SingleWrite() not allowed for report line gates");
    return false;
  }
  if (!SingleWritable(gate)) {
    err(kLogDetail, "KOVRIN> SingleWrite() not allowed for memory type %d, width %d, bit %d",
        gate->memoryType, gate->width, gate->bit);
    return false;
  }
  if (HighByteBitOutside(gate)) {
    RefuseHighByteBit("SingleWrite", gate);
    return false;
  }
  if (preRead && IsBroadcast(gate)) {
    // Nobody answers a broadcast, so the register to merge into is unknown.
    err(kLogDetail, "KOVRIN> SingleWrite() broadcast (plc 0) not allowed for bit and byte gates");
    return false;
  }
  return true;
}

// The value in the host's cell: 32 bits (in the wire's word order) or the
// low 16.
struct SingleValue {
  uint32_t value32;
  uint16_t value;
};

SingleValue HostValueOf(const VpiInstance* instance, const GateTransfer* gate) {
  const auto* values = static_cast<const uint8_t*>(gate->values);
  SingleValue host = {0, 0};
  if (gate->width == 32) {
    host.value32 = LoadLe32(values);
    if (WordsSwapped(gate->memoryType, instance->flags)) host.value32 = SwapHalves(host.value32);
  } else {
    host.value = LoadLe16(values + 2);
  }
  return host;
}

// Builds the request in the instance's buffer; current is the register a
// bit or byte is merged into.
int BuildSingleWrite(VpiInstance* instance, const GateTransfer* gate, SingleValue host, uint16_t current) {
  const uint16_t frameAddress = FrameAddress(gate->address, gate->width, instance->flags);
  uint8_t* tx = instance->txBuffer;
  const uint8_t station = StationOf(gate);
  if (gate->width == 32) {
    const int length = BuildWriteMultiple(tx, station, kFunctionWriteRegisters, frameAddress,
                                          kRegistersPerValue32, kValue32Bytes);
    PutValue32(tx + kMultipleWriteHeader, host.value32);
    return length;
  }
  if (gate->memoryType == kMemCoils) return BuildWriteCoil(tx, station, frameAddress, host.value != 0);
  // The bit's place in the register; the host's record keeps its number.
  int32_t position = gate->bit;
  if (gate->memoryType == kMemHighByte && position >= 0 && position <= 7) position += 8;
  return BuildWriteRegister(tx, station, frameAddress, RegisterToWrite(gate, host.value, current, position));
}

TransferResult NormalWrite(VpiInstance* instance, const GateTransfer* gate) {
  if (instance->portOpen == 0) return TransferResult::kFailed;
  const bool preRead = gate->bit != -1 || IsByteGate(gate->memoryType);
  if (!SingleWriteAllowed(gate, preRead)) return TransferResult::kFailed;

  const SingleValue host = HostValueOf(instance, gate);
  uint16_t current = 0;
  if (preRead) {
    const TransferResult result = PreRead(instance, gate, &current);
    if (result != TransferResult::kDone) {
      err(kLogDetail, "KOVRIN> SingleWrite() error SingleRead() for spec. dig. gate, rc=%d",
          static_cast<int>(HostResultOf(result)));
      return result;
    }
  }

  const int length = BuildSingleWrite(instance, gate, host, current);
  const TransferResult result = DoWrite(instance, gate, instance->txBuffer, length);
  if (result != TransferResult::kDone) {
    err(kLogDetail, "KOVRIN> SingleWrite() exited, rc= %u", static_cast<unsigned>(HostResultOf(result)));
  }
  return result;
}

// Blocks are written as their gates name them only for coils, holding
// registers and 32-bit holding registers.
bool BlockWritable(int32_t memoryType) {
  return memoryType == kMemCoils || memoryType == kMemHoldingRegisters || memoryType == kMemHoldingFloat ||
         memoryType == kMemHoldingLong;
}

// The width a block of that memory type has: the function goes by width,
// so another width would write coils for registers or the other way round.
bool BlockWidthFits(int32_t memoryType, int32_t width) {
  if (memoryType == kMemCoils) return width == 1;
  if (memoryType == kMemHoldingRegisters) return width == 16;
  return width == 32;
}

}  // namespace

int32_t SingleWrite(VpiInstance* instance, const GateTransfer* gate, int32_t driverNumber) {
  if (gate->memoryType == kMemStationHealth) {
    err(kLogMajor, "KOVRIN> DoWrite() station %d: a station health gate is read-only", gate->plc);
    return kResultFailed;
  }
  if ((gate->gateType == kGateRegisterOrTrigger || gate->memoryType == kMemReport) &&
      IsReportTrigger(gate->gas)) {
    return HostResultOf(ReadReport(instance, gate, driverNumber));
  }
  return HostResultOf(NormalWrite(instance, gate));
}

namespace {

// Whether the block can be written in one frame; logs why not.
bool BlockWriteAllowed(const GateTransfer* gate, int64_t dataBytes) {
  if (!BlockWritable(gate->memoryType)) {
    if (ReadOnlyArea(gate->memoryType) || gate->memoryType == kMemLowByte ||
        gate->memoryType == kMemHighByte) {
      err(kLogDetail, "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516");
    } else {
      err(kLogDetail, "KOVRIN> BlockWrite() not allowed for memory type %d", gate->memoryType);
    }
    return false;
  }
  if (!BlockWidthFits(gate->memoryType, gate->width)) {
    err(kLogDetail, "KOVRIN> BlockWrite() width %d does not fit memory type %d", gate->width,
        gate->memoryType);
    return false;
  }
  if (gate->count < 1) {
    err(kLogMajor, "KOVRIN> BlockWrite() count %d, a block needs at least 1 value", gate->count);
    return false;
  }
  if (dataBytes > kMaxFrameData) {
    err(kLogMajor, "KOVRIN> BlockWrite() block of %d values does not fit one frame", gate->count);
    return false;
  }
  return true;
}

// The host's cells in the frame's order: coils packed as the host packs
// them, registers big-endian, 32-bit values in the wire's word order.
void PutBlockValues(const VpiInstance* instance, const GateTransfer* gate, int64_t dataBytes, uint8_t* data) {
  const auto* values = static_cast<const uint8_t*>(gate->values);
  const int32_t count = gate->count;
  if (gate->width == 1) {
    std::memcpy(data, values, static_cast<size_t>(dataBytes));
  } else if (gate->width == 16) {
    for (int32_t i = 0; i < count; ++i) StoreBe16(data + 2 * i, LoadLe16(values + 2 * i));
  } else {
    const bool swapped = WordsSwapped(gate->memoryType, instance->flags);
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t value = LoadLe32(values + kValue32CellBytes * i);
      PutValue32(data + kValue32Bytes * i, swapped ? SwapHalves(value) : value);
    }
  }
}

TransferResult WriteBlock(VpiInstance* instance, const GateTransfer* gate) {
  const int32_t count = gate->count;
  const int64_t dataBytes = BlockDataBytes(gate->width, count > 0 ? count : 0);
  if (dataBytes < 0) return TransferResult::kFailed;
  if (!BlockWriteAllowed(gate, dataBytes)) return TransferResult::kFailed;

  uint8_t* tx = instance->txBuffer;
  const uint8_t function = gate->width == 1 ? kFunctionWriteCoils : kFunctionWriteRegisters;
  const int length = BuildWriteMultiple(tx, StationOf(gate), function,
                                        FrameAddress(gate->address, gate->width, instance->flags),
                                        static_cast<uint16_t>(count), static_cast<uint8_t>(dataBytes));
  PutBlockValues(instance, gate, dataBytes, tx + kMultipleWriteHeader);

  const TransferResult result = DoWrite(instance, gate, tx, length);
  if (result != TransferResult::kDone) {
    err(kLogMajor, "KOVRIN> SingleWrite() exited, rc= %u", static_cast<unsigned>(HostResultOf(result)));
  }
  return result;
}

}  // namespace

int32_t BlockWrite(VpiInstance* instance, const GateTransfer* gate) {
  return HostResultOf(WriteBlock(instance, gate));
}

TransferResult DoWrite(VpiInstance* instance, const GateTransfer* gate, uint8_t* frame, int length) {
  if (IsBroadcast(gate)) return SendBroadcast(instance, frame, length);
  // Kept for the host's view of the instance; the reply's shape no longer
  // depends on it.
  instance->writeInProgress = 1;
  int replyLength = 0;
  const TransferResult result =
      Exchange(instance, length, ExpectedReplyFor(gate, frame, true), kWriteRetryPolicy, &replyLength);
  instance->writeInProgress = 0;
  return result;
}

}  // namespace kovrin
