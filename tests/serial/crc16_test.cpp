// The frame CRC against the bitwise definition, for every length the
// table-driven steps split differently (four bytes at a time, then single
// bytes), and against known frames.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "serial/crc16.h"

namespace {

// The CRC as Modbus defines it: polynomial 0xA001 (reflected), register
// starting at 0xFFFF, one bit at a time.
uint16_t BitwiseCrc(const uint8_t* bytes, size_t length) {
  uint16_t reg = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    reg ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : reg >> 1;
  }
  return reg;
}

TEST(Crc16, MatchesTheBitwiseDefinitionAtEveryLengthAndOffset) {
  std::vector<uint8_t> bytes(300);
  uint32_t seed = 12345;
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  for (size_t offset = 0; offset < 4; ++offset) {
    for (size_t length = 0; length + offset <= 260; ++length) {
      ASSERT_EQ(Crc16(bytes.data() + offset, length), BitwiseCrc(bytes.data() + offset, length))
          << "length " << length << ", offset " << offset;
    }
  }
}

struct KnownFrame {
  std::vector<uint8_t> bytes;
  uint16_t crc;  // low byte goes first on the wire
};

TEST(Crc16, GivesTheCrcOfKnownFrames) {
  const KnownFrame frames[] = {
      {{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x0A84},  // read one holding register
      {{0x01, 0x03, 0x02, 0x00, 0x00}, 0x44B8},        // its answer
      {{0x11, 0x06, 0x00, 0x01, 0x00, 0x03}, 0x9B9A},  // write one register
      {{}, 0xFFFF},
  };
  for (const KnownFrame& f : frames) EXPECT_EQ(Crc16(f.bytes.data(), f.bytes.size()), f.crc);
}

}  // namespace
