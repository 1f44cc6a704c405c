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

}  // namespace

uint16_t Crc16(const uint8_t* bytes, size_t length) {
  uint16_t reg = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    reg = static_cast<uint16_t>((reg >> 8) ^ kCrcTable[(reg ^ bytes[i]) & 0xFF]);
  }
  return reg;
}
