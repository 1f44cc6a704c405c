#include "serial/crc16.h"

#include <array>

namespace {

// One table entry per byte value: the register after shifting that byte
// through the eight steps of the bitwise algorithm.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    uint16_t reg = static_cast<uint16_t>(value);
    for (int step = 0; step < 8; ++step) {
      reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : static_cast<uint16_t>(reg >> 1);
    }
    table[value] = reg;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeTable();

// The register after a byte and then a zero byte: the step is linear, so
// two bytes folded into the register at once take one lookup per byte of
// the register, half the work of two single steps.
constexpr std::array<uint16_t, 256> MakePairTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    const uint16_t once = kCrcTable[value];
    table[value] = static_cast<uint16_t>((once >> 8) ^ kCrcTable[once & 0xFF]);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcPairTable = MakePairTable();

}  // namespace

uint16_t Crc16(const uint8_t* bytes, size_t length) {
  uint16_t reg = 0xFFFF;
  const uint8_t* const pairsEnd = bytes + (length & ~static_cast<size_t>(1));
  for (; bytes != pairsEnd; bytes += 2) {
    reg = static_cast<uint16_t>(reg ^ bytes[0] ^ (bytes[1] << 8));
    reg = static_cast<uint16_t>(kCrcPairTable[reg & 0xFF] ^ kCrcTable[reg >> 8]);
  }
  if (length & 1) reg = static_cast<uint16_t>((reg >> 8) ^ kCrcTable[(reg ^ *bytes) & 0xFF]);
  return reg;
}
