#include "sim/slave.h"

namespace sim {

namespace {

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

bool PastEnd(uint16_t start, uint32_t quantity) { return start + quantity > 0x10000u; }

// Result of carrying out one request: an exception code, or 0 and the body.
struct Outcome {
  uint8_t exception = 0;
  std::vector<uint8_t> body;
};

Outcome ReadBits(const Station& station, Area area, const uint8_t* data) {
  const uint16_t start = Word(data);
  const uint16_t quantity = Word(data + 2);
  if (quantity < 1 || quantity > 2000) return {kIllegalValue, {}};
  if (PastEnd(start, quantity)) return {kIllegalAddress, {}};
  Outcome out;
  out.body.assign(1 + (quantity + 7) / 8, 0);
  out.body[0] = static_cast<uint8_t>((quantity + 7) / 8);
  for (uint32_t i = 0; i < quantity; ++i) {
    if (station.Get(area, static_cast<uint16_t>(start + i)))
      out.body[1 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  }
  return out;
}

Outcome ReadRegisters(const Station& station, Area area, const uint8_t* data) {
  const uint16_t start = Word(data);
  const uint16_t quantity = Word(data + 2);
  if (quantity < 1 || quantity > 125) return {kIllegalValue, {}};
  if (PastEnd(start, quantity)) return {kIllegalAddress, {}};
  Outcome out;
  out.body.push_back(static_cast<uint8_t>(2 * quantity));
  for (uint32_t i = 0; i < quantity; ++i)
    PutWord(out.body, station.Get(area, static_cast<uint16_t>(start + i)));
  return out;
}

Outcome WriteCoil(Station& station, const uint8_t* data) {
  const uint16_t value = Word(data + 2);
  if (value != 0xFF00 && value != 0x0000) return {kIllegalValue, {}};
  station.Set(Area::kCoil, Word(data), value == 0xFF00);
  return {0, {data, data + 4}};
}

Outcome WriteRegister(Station& station, const uint8_t* data) {
  station.Set(Area::kHoldingRegister, Word(data), Word(data + 2));
  return {0, {data, data + 4}};
}

// data: start, quantity, byte count, values; dataLength counts them all.
Outcome WriteCoils(Station& station, const uint8_t* data, size_t dataLength) {
  const uint16_t start = Word(data);
  const uint16_t quantity = Word(data + 2);
  const uint8_t byteCount = data[4];
  if (quantity < 1 || quantity > 1968 || byteCount != (quantity + 7) / 8 || dataLength != 5u + byteCount) {
    return {kIllegalValue, {}};
  }
  if (PastEnd(start, quantity)) return {kIllegalAddress, {}};
  for (uint32_t i = 0; i < quantity; ++i) {
    station.Set(Area::kCoil, static_cast<uint16_t>(start + i), (data[5 + i / 8] >> (i % 8)) & 1);
  }
  return {0, {data, data + 4}};
}

Outcome WriteRegisters(Station& station, const uint8_t* data, size_t dataLength) {
  const uint16_t start = Word(data);
  const uint16_t quantity = Word(data + 2);
  const uint8_t byteCount = data[4];
  if (quantity < 1 || quantity > 123 || byteCount != 2 * quantity || dataLength != 5u + byteCount) {
    return {kIllegalValue, {}};
  }
  if (PastEnd(start, quantity)) return {kIllegalAddress, {}};
  for (uint32_t i = 0; i < quantity; ++i) {
    station.Set(Area::kHoldingRegister, static_cast<uint16_t>(start + i), Word(data + 5 + 2 * i));
  }
  return {0, {data, data + 4}};
}

Outcome ReadReport(const Station& station, const uint8_t* data) {
  const int number = ReportNumberOfCode(Word(data));
  if (number == 0) return {kIllegalAddress, {}};
  Outcome out;
  out.body.assign(data, data + 4);  // report code and packet number
  const std::vector<uint8_t> text = ReportPacketText(station.Report(number), Word(data + 2));
  out.body.insert(out.body.end(), text.begin(), text.end());
  return out;
}

// The fixed part each function needs after slave and function, CRC excluded.
size_t BodyNeeded(uint8_t function) {
  switch (function) {
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
      return 5;
    default:
      return 4;
  }
}

Outcome Execute(Station& station, const uint8_t* frame, size_t length, bool broadcast) {
  const uint8_t function = frame[1];
  const uint8_t* data = frame + 2;
  const size_t dataLength = length >= 4 ? length - 4 : 0;
  const bool known =
      function == kReadCoils || function == kReadDiscreteInputs || function == kReadHoldingRegisters ||
      function == kReadInputRegisters || function == kWriteSingleCoil || function == kWriteSingleRegister ||
      function == kWriteMultipleCoils || function == kWriteMultipleRegisters || function == kReadReportPacket;
  if (!known) return {kIllegalFunction, {}};
  if (dataLength < BodyNeeded(function)) return {kIllegalValue, {}};
  if (broadcast) {
    switch (function) {
      case kWriteSingleCoil:
      case kWriteSingleRegister:
      case kWriteMultipleCoils:
      case kWriteMultipleRegisters:
        break;
      default:
        return {};
    }
  }
  switch (function) {
    case kReadCoils:
      return ReadBits(station, Area::kCoil, data);
    case kReadDiscreteInputs:
      return ReadBits(station, Area::kDiscreteInput, data);
    case kReadHoldingRegisters:
      return ReadRegisters(station, Area::kHoldingRegister, data);
    case kReadInputRegisters:
      return ReadRegisters(station, Area::kInputRegister, data);
    case kWriteSingleCoil:
      return WriteCoil(station, data);
    case kWriteSingleRegister:
      return WriteRegister(station, data);
    case kWriteMultipleCoils:
      return WriteCoils(station, data, dataLength);
    case kWriteMultipleRegisters:
      return WriteRegisters(station, data, dataLength);
    default:
      return ReadReport(station, data);
  }
}

}  // namespace

std::vector<uint8_t> ExceptionAnswer(uint8_t slave, uint8_t function, uint8_t code) {
  return {slave, static_cast<uint8_t>(function | 0x80), code};
}

std::vector<uint8_t> AnswerRequest(Station& station, const uint8_t* frame, size_t length) {
  const Outcome outcome = Execute(station, frame, length, false);
  if (outcome.exception != 0) return ExceptionAnswer(frame[0], frame[1], outcome.exception);
  std::vector<uint8_t> answer{frame[0], frame[1]};
  answer.insert(answer.end(), outcome.body.begin(), outcome.body.end());
  return answer;
}

void ExecuteBroadcast(Station& station, const uint8_t* frame, size_t length) {
  Execute(station, frame, length, true);
}

}  // namespace sim
