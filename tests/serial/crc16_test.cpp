// The frame CRC against the bitwise definition, for every length the
// table-driven steps split differently (four bytes at a time, then single
// bytes), and against known vectors, each also checked as a whole frame.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "serial/crc16.h"
#include "serial/frame.h"
#include "tests/support/frame_crc.h"

using namespace kovrin;

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

struct KnownCrc {
  const char* what;
  std::vector<uint8_t> bytes;
  uint16_t crc;  // low byte goes first on the wire
};

void PrintTo(const KnownCrc& c, std::ostream* out) { *out << c.what; }

const KnownCrc kKnownCrcs[] = {
    {"no bytes: the initial register", {}, 0xFFFF},
    {"the check string", {'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x4B37},
    {"a read of one holding register", {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x0A84},
    {"its answer 0", {0x01, 0x03, 0x02, 0x00, 0x00}, 0x44B8},
    {"its answer 42", {0x01, 0x03, 0x02, 0x00, 0x2A}, 0x9B39},
    {"an exception reply", {0x01, 0x83, 0x02}, 0xF1C0},
    {"a write of one register", {0x11, 0x06, 0x00, 0x01, 0x00, 0x03}, 0x9B9A},
};

class KnownCrcTest : public ::testing::TestWithParam<KnownCrc> {};

TEST_P(KnownCrcTest, GivesTheCrcAndTheFrameWithItChecksOut) {
  const KnownCrc& c = GetParam();
  EXPECT_EQ(Crc16(c.bytes.data(), c.bytes.size()), c.crc);
  const std::vector<uint8_t> whole = WithCrc(c.bytes);
  EXPECT_EQ(Crc16(whole.data(), whole.size()), 0) << "a frame with its CRC checks to 0";
  EXPECT_TRUE(FrameCrcMatches(whole.data(), static_cast<int>(whole.size())));
}

INSTANTIATE_TEST_SUITE_P(Vectors, KnownCrcTest, ::testing::ValuesIn(kKnownCrcs));

TEST(FrameCrcMatches, RefusesAWrongCrcAndAFrameTooShortForOne) {
  const uint8_t bad[] = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9C};
  EXPECT_FALSE(FrameCrcMatches(bad, 7));
  EXPECT_FALSE(FrameCrcMatches(bad, 1));
}

}  // namespace
