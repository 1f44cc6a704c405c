#include "serial/crc16.h"

#include <array>

namespace kovrin {

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

// kCrcTables[k][x]: the register after byte x and then k zero bytes. The
// step is linear, so four bytes folded in at once take one lookup each
// instead of four single steps (slicing by four).
using CrcTables = std::array<std::array<uint16_t, 256>, 4>;
constexpr CrcTables MakeTables() {
  CrcTables tables{};
  tables[0] = kCrcTable;
  for (size_t k = 1; k < tables.size(); ++k) {
    for (unsigned value = 0; value < 256; ++value) {
      const uint16_t before = tables[k - 1][value];
      tables[k][value] = static_cast<uint16_t>((before >> 8) ^ kCrcTable[before & 0xFF]);
    }
  }
  return tables;
}

constexpr CrcTables kCrcTables = MakeTables();

}  // namespace

uint16_t Crc16(const uint8_t* bytes, size_t length) {
  uint16_t reg = 0xFFFF;
  const uint8_t* const end = bytes + length;
  for (; end - bytes >= 4; bytes += 4) {
    const unsigned low = (reg ^ bytes[0]) & 0xFFu;
    const unsigned high = ((reg >> 8) ^ bytes[1]) & 0xFFu;
    reg = static_cast<uint16_t>(kCrcTables[3][low] ^ kCrcTables[2][high] ^ kCrcTables[1][bytes[2]] ^
                                kCrcTables[0][bytes[3]]);
  }
  for (; bytes != end; ++bytes) reg = static_cast<uint16_t>((reg >> 8) ^ kCrcTable[(reg ^ *bytes) & 0xFF]);
  return reg;
}

}  // namespace kovrin
