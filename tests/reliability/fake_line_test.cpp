// The fake line serves its script as a real line would deliver it, so that
// what the fuzz targets find holds for the driver on a real port.

#include "tests/support/fake_line_fixture.h"

using namespace kovrin;

namespace {

DWORD ReadSome(HANDLE line, uint8_t* buffer, DWORD toRead) {
  DWORD got = 99;
  EXPECT_TRUE(CurrentLine().read(line, buffer, toRead, &got));
  return got;
}

TEST(FakeLine, ChunksPausesAndReplies) {
  FakeLineInstall();
  const uint8_t first[] = {1, 2, 3};
  const uint8_t second[] = {4};
  FakeLineAddChunk(first, sizeof first);
  FakeLineAddChunk(nullptr, 0);  // a pause longer than the read timeout
  FakeLineAddChunk(second, sizeof second);
  const uint8_t crc[] = {0xAA, 0xBB};
  FakeLineExtendChunk(crc, sizeof crc);
  FakeLineEndReply(/*writeFails=*/true);
  FakeLineAddChunk(first, 1);

  // Through the seam, as the driver calls it.
  const LineOps& seam = CurrentLine();
  HANDLE line = seam.open(kFakeLinePortName);
  ASSERT_NE(line, INVALID_HANDLE_VALUE);
  EXPECT_EQ(seam.open(kFakeLinePortName),
            INVALID_HANDLE_VALUE);  // exclusive, like a port
  uint8_t buffer[16];
  EXPECT_EQ(ReadSome(line, buffer, 8), 0u);  // nothing before a request

  DWORD written = 0;
  const uint8_t request[] = {9, 9};
  EXPECT_TRUE(seam.write(line, request, sizeof request, &written));
  EXPECT_EQ(written, 2u);
  COMSTAT status{};
  DWORD errors = 0;
  ASSERT_TRUE(seam.queueStatus(line, &errors, &status));
  EXPECT_EQ(status.cbInQue, 6u);
  EXPECT_EQ(ReadSome(line, buffer, 2), 2u);  // part of a chunk
  EXPECT_EQ(ReadSome(line, buffer, 8), 1u);  // the rest of it, no more
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(ReadSome(line, buffer, 8), 0u);  // the pause
  EXPECT_EQ(ReadSome(line, buffer, 8), 3u);  // 4 and the appended bytes
  EXPECT_EQ(buffer[2], 0xBB);
  EXPECT_EQ(ReadSome(line, buffer, 8), 0u);  // past the end: timeouts

  // The second reply's request fails to go out; its bytes still come.
  EXPECT_FALSE(seam.write(line, request, sizeof request, &written));
  EXPECT_EQ(ReadSome(line, buffer, 8), 1u);
  EXPECT_EQ(FakeLineRequestCount(), 2);
  EXPECT_TRUE(seam.close(line));
  EXPECT_FALSE(FakeLineIsOpen());
  FakeLineRemove();
  // Without the fake line the name is an ordinary (unknown) port name.
  EXPECT_EQ(seam.open(kFakeLinePortName), INVALID_HANDLE_VALUE);
}

TEST_F(FakeLineTest, ReadTransactionOverTheFakeLine) {
  Reply(WithCrc({0x01, 0x03, 0x02, 0x12, 0x34}));
  uint8_t values[4] = {0, 0, 0, 0};
  GateTransfer gate{};
  gate.plc = 1;
  gate.memoryType = kMemHoldingRegisters;
  gate.address = 0x10;
  gate.bit = -1;
  gate.width = 16;
  gate.gateType = kGateInt16;
  gate.count = 1;
  gate.values = values;
  ASSERT_EQ(session_.Call(kCmdSingleRead, &gate), kResultDone);
  EXPECT_EQ(LastRequest(), (Frame{0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF}));
  EXPECT_EQ(values[2], 0x34);
  EXPECT_EQ(values[3], 0x12);
}

}  // namespace
