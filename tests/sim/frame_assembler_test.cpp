// Cutting request frames out of a byte stream, with resynchronisation.

#include "sim/frame_assembler.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_bytes.h"

using namespace kovrin;

namespace {

using namespace simtest;

struct StreamCase {
  const char* name;
  std::vector<Bytes> pushes;  // arriving in these pieces, no idle between
  std::vector<Bytes> frames;  // expected, in order
  bool idleAtEnd;             // the line falls silent after the last piece
  size_t discarded;
  size_t pendingAfter;
};

const Bytes kRead = HexCrc("01 03 00 00 00 0A");
const Bytes kWrite16 = HexCrc("01 10 00 10 00 02 04 00 0A 01 02");
const Bytes kReport = HexCrc("01 41 23 8D 00 00");
const Bytes kSlaveId = HexCrc("01 11");  // no length rule of ours: found by CRC
const Bytes kUnknown = HexCrc("01 64 01 02 03");

const StreamCase kStreamCases[] = {
    {"one_frame", {kRead}, {kRead}, false, 0, 0},
    {"frame_in_pieces",
     {Bytes(kRead.begin(), kRead.begin() + 3), Bytes(kRead.begin() + 3, kRead.end())},
     {kRead},
     false,
     0,
     0},
    {"back_to_back", {Concat(kRead, Concat(kWrite16, kReport))}, {kRead, kWrite16, kReport}, false, 0, 0},
    {"garbage_before", {Concat(Hex("FF 00 A5"), kRead)}, {kRead}, false, 3, 0},
    {"broken_frame_then_good", {Concat(Bytes(kRead.begin(), kRead.end() - 1), kRead)}, {kRead}, false, 7, 0},
    {"corrupted_crc_then_good", {Concat(Hex("01 03 00 00 00 0A 00 00"), kRead)}, {kRead}, false, 8, 0},
    {"function_found_by_crc", {Concat(kSlaveId, kUnknown)}, {kSlaveId, kUnknown}, false, 0, 0},
    // A header promising 200 more bytes hides the good frame until the line
    // falls idle; then the search goes on behind it.
    {"long_garbage_header_needs_idle", {Concat(Hex("01 10 00 00 00 64 C8"), kRead)}, {kRead}, true, 7, 0},
    {"incomplete_kept_while_busy", {Hex("01 03 00 00")}, {}, false, 0, 4},
    {"incomplete_dropped_when_idle", {Hex("01 03 00 00")}, {}, true, 4, 0},
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class StreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTest, CutsFrames) {
  const StreamCase& c = GetParam();
  sim::FrameAssembler assembler;
  std::vector<Bytes> frames;
  Bytes frame;
  for (const Bytes& piece : c.pushes) {
    assembler.Push(piece.data(), piece.size());
    while (assembler.Next(&frame, false)) frames.push_back(frame);
  }
  if (c.idleAtEnd) {
    while (assembler.Next(&frame, true)) frames.push_back(frame);
  }
  EXPECT_EQ(frames, c.frames);
  EXPECT_EQ(assembler.discarded(), c.discarded);
  EXPECT_EQ(assembler.pending(), c.pendingAfter);
}

INSTANTIATE_TEST_SUITE_P(Streams, StreamTest, ::testing::ValuesIn(kStreamCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameAssemblerTest, NoiseNeverYieldsAFrameWithBadCrc) {
  sim::FrameAssembler assembler;
  Bytes noise;
  uint32_t x = 12345;
  for (int i = 0; i < 5000; ++i) {
    x = x * 1103515245u + 12345u;
    noise.push_back(static_cast<uint8_t>(x >> 16));
  }
  assembler.Push(noise.data(), noise.size());
  Bytes frame;
  while (assembler.Next(&frame, true)) EXPECT_EQ(Crc16(frame.data(), frame.size()), 0);
  EXPECT_EQ(assembler.pending(), 0u);
}

}  // namespace
