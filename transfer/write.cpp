#include "transfer/write.h"

#include <cstring>

#include "entry/handlers.h"
#include "entry/host_library.h"
#include "entry/instance.h"
#include "serial/frame.h"
#include "serial/line.h"
#include "serial/port.h"
#include "transfer/read.h"
#include "transfer/report.h"
#include "transfer/value_area.h"

namespace {

constexpr uint8_t kFunctionWriteCoil = 5;
constexpr uint8_t kFunctionWriteRegister = 6;
constexpr uint8_t kFunctionWriteCoils = 15;
constexpr uint8_t kFunctionWriteRegisters = 16;
constexpr int kMaxFrameData = 255;  // what the byte-count byte can announce

// Station 0 on the wire (the frame carries the plc's low 8 bits) is the
// broadcast address: every device carries the write out and none answers.
bool IsBroadcast(const GateTransfer* gate) { return static_cast<uint8_t>(gate->plc) == 0; }

// Sends a broadcast once and leaves the devices the turnaround delay to
// carry it out before the next request. 0, or 2 when it did not go out.
int SendBroadcast(VpiInstance* instance, uint8_t* frame, int length) {
  g_lastError = 0;  // as for every write transaction
  DrainInput(instance->portHandle);
  if (SendFrame(instance, frame, length) != 0) {
    err(kLogMajor, "KOVRIN> DoWrite() broadcast (plc 0) not sent");
    return kResultTransport;
  }
  Line().sleep(kBroadcastTurnaroundMs);
  return kResultDone;
}

bool ReadOnlyArea(int32_t memoryType) {
  return memoryType == kMemInputs || memoryType == kMemInputRegisters ||
         memoryType == kMemInputFloat || memoryType == kMemInputLong;
}

// The four bytes of a 32-bit value, high word first.
void PutValue32(uint8_t* at, uint32_t value) {
  StoreBe16(at, static_cast<uint16_t>(value >> 16));
  StoreBe16(at + 2, static_cast<uint16_t>(value));
}

// Reads the register a bit or byte gate lives in, through a request of its
// own, so that the write can carry the register's other bits unchanged.
int PreRead(VpiRequest* request, const GateTransfer* gate, uint16_t* current) {
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
  VpiRequest readRequest{};
  readRequest.instance = request->instance;
  readRequest.command = kCmdSingleRead;
  readRequest.driverNumber = request->driverNumber;
  readRequest.params = &temporary;
  const int32_t result = SingleRead(&readRequest);
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

int32_t NormalWrite(VpiRequest* request) {
  auto* instance = static_cast<VpiInstance*>(request->instance);
  const auto* gate = static_cast<const GateTransfer*>(request->params);
  const uint16_t frameAddress = FrameAddress(gate->address, gate->width, instance->flags);
  if (instance->portOpen == 0) return kResultFailed;
  if (ReadOnlyArea(gate->memoryType)) {
    err(kLogDetail, "KOVRIN> SingleWrite() not allowed for types 1,3,5 and 6");
    return kResultFailed;
  }
  if (gate->memoryType == kMemReport) {
    // A report line takes text from a report fetch; it has no register.
    err(kLogDetail, "KOVRIN> SingleWrite() not allowed for report line gates");
    return kResultFailed;
  }
  if (!SingleWritable(gate)) {
    err(kLogDetail, "KOVRIN> SingleWrite() not allowed for memory type %d, width %d, bit %d",
        gate->memoryType, gate->width, gate->bit);
    return kResultFailed;
  }
  if (HighByteBitOutside(gate)) {
    RefuseHighByteBit("SingleWrite", gate);
    return kResultFailed;
  }
  const bool preRead = gate->bit != -1 || gate->memoryType > 256;
  if (preRead && IsBroadcast(gate)) {
    // Nobody answers a broadcast, so the register to merge into is unknown.
    err(kLogDetail, "KOVRIN> SingleWrite() broadcast (plc 0) not allowed for bit and byte gates");
    return kResultFailed;
  }

  const auto* values = static_cast<const uint8_t*>(gate->values);
  uint32_t value32 = 0;
  uint16_t value = 0;
  if (gate->width == 32) {
    value32 = LoadLe32(values);
    if (WordsSwapped(gate->memoryType, instance->flags)) value32 = SwapHalves(value32);
  } else {
    value = LoadLe16(values + 2);
  }

  // The bit's place in the register; the host's record keeps its number.
  int32_t position = gate->bit;
  if (gate->memoryType == kMemHighByte && position >= 0 && position <= 7) position += 8;

  uint16_t current = 0;
  if (preRead) {
    const int result = PreRead(request, gate, &current);
    if (result != kResultDone) {
      err(kLogDetail, "KOVRIN> SingleWrite() error SingleRead() for spec. dig. gate, rc=%d", result);
      return result;
    }
  }

  uint8_t* tx = instance->txBuffer;
  tx[0] = static_cast<uint8_t>(gate->plc);
  tx[1] = kFunctionWriteRegister;
  StoreBe16(tx + 2, frameAddress);
  int length = 6;
  if (gate->width == 32) {
    tx[1] = kFunctionWriteRegisters;
    StoreBe16(tx + 4, 2);
    tx[6] = 4;
    PutValue32(tx + 7, value32);
    length = 11;
  } else {
    StoreBe16(tx + 4, value);
    if (gate->memoryType == kMemLowByte) {
      tx[4] = static_cast<uint8_t>(current >> 8);
      tx[5] = static_cast<uint8_t>(value);
    } else if (gate->memoryType == kMemHighByte) {
      tx[4] = static_cast<uint8_t>(value);
      tx[5] = static_cast<uint8_t>(current);
    }
    if ((gate->memoryType & 0xFF) == kMemHoldingRegisters && gate->bit != -1) {
      StoreBe16(tx + 4, MergeBit(current, position, value));
    } else if (gate->memoryType == kMemCoils) {
      tx[1] = kFunctionWriteCoil;
      tx[4] = value != 0 ? 0xFF : 0x00;
      tx[5] = 0x00;
    }
  }

  const int result = DoWrite(request, tx, length);
  if (result != kResultDone) err(kLogDetail, "KOVRIN> SingleWrite() exited, rc= %u", result);
  return result;
}

// Blocks are written as their gates name them only for coils, holding
// registers and 32-bit holding registers.
bool BlockWritable(int32_t memoryType) {
  return memoryType == kMemCoils || memoryType == kMemHoldingRegisters ||
         memoryType == kMemHoldingFloat || memoryType == kMemHoldingLong;
}

// The width a block of that memory type has: the function goes by width,
// so another width would write coils for registers or the other way round.
bool BlockWidthFits(int32_t memoryType, int32_t width) {
  if (memoryType == kMemCoils) return width == 1;
  if (memoryType == kMemHoldingRegisters) return width == 16;
  return width == 32;
}

}  // namespace

int32_t SingleWrite(VpiRequest* request) {
  const auto* gate = static_cast<const GateTransfer*>(request->params);
  if ((gate->gateType == kGateType0 || gate->memoryType == kMemReport) && IsReportTrigger(gate->gas)) {
    return ReadReport(request);
  }
  return NormalWrite(request);
}

int32_t BlockWrite(VpiRequest* request) {
  auto* instance = static_cast<VpiInstance*>(request->instance);
  const auto* gate = static_cast<const GateTransfer*>(request->params);
  const auto* values = static_cast<const uint8_t*>(gate->values);
  const int32_t count = gate->count;
  uint8_t* tx = instance->txBuffer;

  int64_t dataBytes = 0;
  switch (gate->width) {
    case 1: dataBytes = (static_cast<int64_t>(count) + 7) / 8; break;
    case 16: dataBytes = static_cast<int64_t>(count) * 2; break;
    case 32: dataBytes = static_cast<int64_t>(count) * 4; break;
    default: return kResultFailed;
  }
  if (!BlockWritable(gate->memoryType)) {
    if (ReadOnlyArea(gate->memoryType) || gate->memoryType == kMemLowByte ||
        gate->memoryType == kMemHighByte) {
      err(kLogDetail, "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516");
    } else {
      err(kLogDetail, "KOVRIN> BlockWrite() not allowed for memory type %d", gate->memoryType);
    }
    return kResultFailed;
  }
  if (!BlockWidthFits(gate->memoryType, gate->width)) {
    err(kLogDetail, "KOVRIN> BlockWrite() width %d does not fit memory type %d", gate->width,
        gate->memoryType);
    return kResultFailed;
  }
  if (count < 1) {
    err(kLogMajor, "KOVRIN> BlockWrite() count %d, a block needs at least 1 value", count);
    return kResultFailed;
  }
  if (dataBytes > kMaxFrameData) {
    err(kLogMajor, "KOVRIN> BlockWrite() block of %d values does not fit one frame", count);
    return kResultFailed;
  }

  tx[0] = static_cast<uint8_t>(gate->plc);
  uint8_t* data = tx + 7;
  if (gate->width == 1) {
    tx[1] = kFunctionWriteCoils;
    std::memcpy(data, values, static_cast<size_t>(dataBytes));
  } else if (gate->width == 16) {
    tx[1] = kFunctionWriteRegisters;
    for (int32_t i = 0; i < count; ++i) StoreBe16(data + 2 * i, LoadLe16(values + 2 * i));
  } else {
    tx[1] = kFunctionWriteRegisters;
    const bool swapped = WordsSwapped(gate->memoryType, instance->flags);
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t value = LoadLe32(values + 8 * i);  // 8-byte cells
      PutValue32(data + 4 * i, swapped ? SwapHalves(value) : value);
    }
  }
  StoreBe16(tx + 2, FrameAddress(gate->address, gate->width, instance->flags));
  StoreBe16(tx + 4, static_cast<uint16_t>(count));
  tx[6] = static_cast<uint8_t>(dataBytes);

  const int result = DoWrite(request, tx, 7 + static_cast<int>(dataBytes));
  if (result != kResultDone) err(kLogMajor, "KOVRIN> SingleWrite() exited, rc= %u", result);
  return result;
}

int DoWrite(VpiRequest* request, uint8_t* frame, int length) {
  auto* instance = static_cast<VpiInstance*>(request->instance);
  const auto* gate = static_cast<const GateTransfer*>(request->params);
  if (IsBroadcast(gate)) return SendBroadcast(instance, frame, length);
  instance->writeInProgress = 1;
  g_lastError = 0;
  int result = 0;
  for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
    if (attempt != 0) err(kLogTrace, "DORZA, Do write, retry %d", attempt);
    DrainInput(instance->portHandle);
    SendFrame(instance, frame, length);  // a failed send shows as a failed receive
    int replyLength = 0;
    const int received = ReceiveFrame(gate, instance, instance->rxBuffer, &replyLength);
    if (received != kReceiveDone) {
      err(kLogTrace, "DORZA: error in reply to Do Write");
      if (received >= kReceiveWrong) {
        result = kReceiveWrong;
        err(kLogTrace, "DORZA: DOWrite() Wrong Receive");
      } else {
        result = received;
        err(kLogMajor, "KOVRIN> DoWrite() receive error, retry %d", attempt);
      }
      continue;
    }
    if (!FrameCrcMatches(instance->rxBuffer, replyLength)) {
      err(kLogTrace, "Error in CRC");
      err(kLogMajor, "KOVRIN> DoWrite() error in crc, retry %d", attempt);
      result = kResultFailed;
      continue;
    }
    if (instance->rxBuffer[1] & kExceptionBit) {
      err(kLogMajor, "KOVRIN> DoWrite() plc sent 0x80 => error");
      err(kLogTrace, "DORZA: reply buff1 = %x", instance->rxBuffer[1]);
      result = kResultFailed;
      continue;
    }
    result = kResultDone;
    break;
  }
  instance->writeInProgress = 0;
  return result == kReceiveWrong ? kResultFailed : result;
}
