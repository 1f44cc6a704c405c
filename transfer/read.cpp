#include "transfer/read.h"

#include "host_interface/host_library.h"
#include "transfer/exchange.h"
#include "transfer/station_health.h"
#include "transfer/value_area.h"

namespace kovrin {

namespace {

// Indexed by the low byte of the memory type.
constexpr uint32_t kMemoryTypesWithTable = 9;
const uint8_t kReadFunctionTable[kMemoryTypesWithTable] = {
    1,                // 0 coils
    2,                // 1 inputs
    kNoReadFunction,  // 2 no such type
    4,                // 3 input registers
    3,                // 4 holding registers, their low and high bytes
    4,                // 5 input registers as float
    4,                // 6 input registers as unsigned long
    3,                // 7 holding registers as float
    3,                // 8 holding registers as unsigned long
};

constexpr int kReplyDataOffset = 3;  // slave, function, byte count

// A register value with the byte adjustments of the byte gates.
uint16_t RegisterValue(const uint8_t* data, int32_t memoryType) {
  const uint16_t value = LoadBe16(data);
  if (memoryType == kMemHighByte) return static_cast<uint16_t>(value >> 8);
  if (memoryType == kMemLowByte) return static_cast<uint16_t>(value & 0xFF);
  return value;
}

uint32_t Value32(const uint8_t* d, bool swapped) {
  const uint32_t high = LoadBe16(d);
  const uint32_t low = LoadBe16(d + 2);
  return swapped ? (low << 16) | high : (high << 16) | low;
}

// Bit of a register; positions outside the register read 0.
uint16_t RegisterBit(const uint8_t* data, int32_t position) {
  if (position < 0 || position > 15) return 0;
  return static_cast<uint16_t>((LoadBe16(data) >> position) & 1);
}

// Logs a transaction that did not end done; gives its result back.
TransferResult LogIfFailed(const char* command, TransferResult result) {
  if (result != TransferResult::kDone) {
    err(kLogDetail, "KOVRIN> %s() , ret val is %d", command, static_cast<int>(HostResultOf(result)));
  }
  return result;
}

}  // namespace

bool HighByteBitOutside(const GateTransfer* transfer) {
  return transfer->memoryType == kMemHighByte && transfer->bit >= 8 && transfer->bit <= 15;
}

void RefuseHighByteBit(const char* operation, const GateTransfer* transfer) {
  err(kLogDetail, "KOVRIN> %s() gate '%s': bit %d of a high byte lies outside the register", operation,
      transfer->gas != nullptr ? transfer->gas : "", transfer->bit);
}

void RefuseHighByteBitRead(const GateTransfer* transfer) {
  // The host fills gas for SingleWrite only: on a read it may point
  // anywhere, so the gate is named by its parsed fields.
  err(kLogDetail,
      "KOVRIN> DoRead() gate of plc %d, register %d: bit %d of a high byte lies outside the register",
      transfer->plc, transfer->address, transfer->bit);
}

uint8_t ReadFunctionFor(int32_t memoryType) {
  const uint32_t low = static_cast<uint32_t>(memoryType) & 0xFF;
  return low < kMemoryTypesWithTable ? kReadFunctionTable[low] : kNoReadFunction;
}

int ReadDataBytes(const GateTransfer* transfer, int mode) {
  if (mode == kReadSingle) {
    switch (transfer->width) {
      case 1:
        return transfer->bit == -1 ? 1 : 2;
      case 16:
        return 2;
      case 32:
        return 4;
      default:
        return -1;
    }
  }
  // Clamped far above a frame's data, which any block that large exceeds.
  constexpr int64_t kMostCounted = 16384;
  const int64_t bytes = BlockDataBytes(transfer->width, transfer->count > 0 ? transfer->count : 0);
  return static_cast<int>(bytes > kMostCounted ? kMostCounted : bytes);
}

namespace {

// The request for the gate into the instance's txBuffer; gives its length.
int BuildRequest(const GateTransfer* transfer, VpiInstance* instance) {
  uint8_t* tx = instance->txBuffer;
  tx[0] = static_cast<uint8_t>(transfer->plc);
  tx[1] = ReadFunctionFor(transfer->memoryType);
  StoreBe16(tx + 2, FrameAddress(transfer->address, transfer->width, instance->flags));
  uint16_t quantity = static_cast<uint16_t>(transfer->count);
  if (transfer->gateType == kGateFloat || transfer->gateType == kGateInt32 ||
      transfer->gateType == kGateLong) {
    quantity = static_cast<uint16_t>(quantity * 2);
  }
  StoreBe16(tx + 4, quantity);
  return kReadRequestLength;
}

}  // namespace

namespace {

// Stores the values the reply carries for the gate into its value area.
TransferResult DecodeReply(const GateTransfer* transfer, const uint8_t* reply, int replyLength,
                           uint16_t flags, int mode) {
  const int needed = ReadDataBytes(transfer, mode);
  if (needed < 0) return TransferResult::kFailed;
  const int carried = replyLength - kReplyDataOffset - 2;
  if (carried < needed || reply[2] < needed) {
    err(kLogDetail, "KOVRIN> DoRead() reply carries %d data bytes, %d needed", reply[2], needed);
    return TransferResult::kFailed;
  }
  const uint8_t* d = reply + kReplyDataOffset;
  auto* values = static_cast<uint8_t*>(transfer->values);
  const int32_t memoryType = transfer->memoryType;

  if (mode == kReadSingle) {
    switch (transfer->width) {
      case 1:
        // The bit position was already raised for a high-byte gate.
        StoreLe16(values + 2,
                  transfer->bit == -1 ? static_cast<uint16_t>(d[0] & 1) : RegisterBit(d, transfer->bit));
        return TransferResult::kDone;
      case 16:
        StoreLe16(values + 2, RegisterValue(d, memoryType));
        return TransferResult::kDone;
      default:  // 32
        StoreLe32(values, Value32(d, WordsSwapped(memoryType, flags)));
        return TransferResult::kDone;
    }
  }

  const int32_t count = transfer->count;
  switch (transfer->width) {
    case 1:
      for (int i = 0; i < needed; ++i) values[i] = d[i];
      return TransferResult::kDone;
    case 16:
      for (int32_t i = 0; i < count; ++i) StoreLe16(values + 2 * i, RegisterValue(d + 2 * i, memoryType));
      return TransferResult::kDone;
    default: {  // 32
      const bool swapped = WordsSwapped(memoryType, flags);
      for (int32_t i = 0; i < count; ++i) StoreLe32(values + 4 * i, Value32(d + 4 * i, swapped));
      return TransferResult::kDone;
    }
  }
}

}  // namespace

TransferResult DoRead(VpiInstance* instance, const GateTransfer* transfer, int mode) {
  if (ReadFunctionFor(transfer->memoryType) == kNoReadFunction) {
    err(kLogDetail, "KOVRIN> DoRead() no read function for memory type %d", transfer->memoryType);
    return TransferResult::kFailed;
  }
  if (mode == kReadBlock && transfer->count < 1) {
    err(kLogMajor, "KOVRIN> BlockRead() count %d, a block needs at least 1 value", transfer->count);
    return TransferResult::kFailed;
  }
  const int dataBytes = ReadDataBytes(transfer, mode);
  if (mode == kReadBlock && dataBytes > kMaxFrameData) {
    err(kLogMajor, "KOVRIN> BlockRead() block of %d values does not fit one frame", transfer->count);
    return TransferResult::kFailed;
  }
  if (mode == kReadSingle && HighByteBitOutside(transfer)) {
    RefuseHighByteBitRead(transfer);
    return TransferResult::kFailed;
  }
  // A bit of a high-byte gate counts from the register's bit 0. The raised
  // number stays in a copy: the host may reuse its record for the next
  // request, and a raised number there would name bit n+8, n+16 ... Only a
  // bit of the byte (0 to 7) is raised: any other number names no bit of
  // the register, and raising it could overflow or, from below 0, land
  // inside the low byte.
  GateTransfer raised;
  if (mode == kReadSingle && transfer->memoryType == kMemHighByte && transfer->bit >= 0 &&
      transfer->bit <= 7) {
    raised = *transfer;
    raised.bit += 8;
    transfer = &raised;
  }

  const int length = BuildRequest(transfer, instance);
  int replyLength = 0;
  TransferResult result = Exchange(instance, length, ExpectedReplyFor(transfer, instance->txBuffer, false),
                                   kReadRetryPolicy, &replyLength);
  if (result == TransferResult::kDone) {
    result = DecodeReply(transfer, instance->rxBuffer, replyLength, instance->flags, mode);
  }
  return result;
}

TransferResult SingleReadTransaction(VpiInstance* instance, const GateTransfer* transfer) {
  return LogIfFailed("SingleRead", DoRead(instance, transfer, kReadSingle));
}

namespace {

// A station's health: its state as the transactions left it, no request.
TransferResult ReadStationHealth(VpiInstance* instance, const GateTransfer* gate) {
  // Only the fields its parse stored: a record a host spoilt could name a
  // value area of another size.
  if (gate->plc < 1 || gate->plc > 255 || gate->width != 16 || gate->bit != -1) {
    err(kLogDetail, "KOVRIN> DoRead() not a station health gate: plc %d, width %d, bit %d", gate->plc,
        gate->width, gate->bit);
    return TransferResult::kFailed;
  }
  if ((instance->flags & kFlagStationWatch) == 0) {
    WatchStations(instance);
    instance->flags = static_cast<uint16_t>(instance->flags | kFlagStationWatch);
  }
  const StationState state = StationStateOf(instance, static_cast<uint8_t>(gate->plc));
  StoreLe16(static_cast<uint8_t*>(gate->values) + 2, static_cast<uint16_t>(state));
  return TransferResult::kDone;
}

}  // namespace

int32_t SingleRead(VpiInstance* instance, const GateTransfer* gate) {
  if (instance->portOpen == 0) return kResultFailed;
  if (gate->memoryType == kMemStationHealth) return HostResultOf(ReadStationHealth(instance, gate));
  return HostResultOf(SingleReadTransaction(instance, gate));
}

int32_t BlockRead(VpiInstance* instance, const GateTransfer* gate) {
  if (instance->portOpen == 0) return kResultFailed;
  return HostResultOf(LogIfFailed("BlockRead", DoRead(instance, gate, kReadBlock)));
}

}  // namespace kovrin
