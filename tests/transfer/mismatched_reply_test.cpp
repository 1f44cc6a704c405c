// Replies that answer another request: every field a reply gives back is
// checked against the request. A reply of another station, function, byte
// count or echo is a wrong receive: retried with the same request, never
// stored, and the right reply after it is.

#include <functional>
#include <string>

#include "host_interface/host_library.h"
#include "host/zelpro/zelpro_host.h"
#include "tests/transfer/transfer_fixture.h"

namespace {

const Bytes kGoodData = {0x22, 0x22, 0x33, 0x33};

// The device's right answer to every request of the cases below.
Bytes RightAnswer(const Bytes& request) {
  const uint8_t function = request[1];
  if (function == 3) return ReadReply(request, kGoodData);
  if (function == 65) {
    Bytes reply(request.begin(), request.begin() + 6);
    const std::string text = "RIGHT\x1A";
    for (size_t i = 0; i < 128; ++i) reply.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0x20);
    return WithCrc(reply);
  }
  return WriteEcho(request);
}

// Sets byte `at` of the right answer (its CRC made right again).
std::function<Bytes(const Bytes&)> WithByte(size_t at, uint8_t value) {
  return [at, value](const Bytes& request) {
    Bytes reply = RightAnswer(request);
    reply.resize(reply.size() - 2);
    reply[at] = value;
    return WithCrc(reply);
  };
}

Bytes ShortRead(const Bytes& request) { return ReadReply(request, {0x11, 0x11}); }
Bytes OtherFunctionsException(const Bytes& request) { return WithCrc({request[0], 0x86, 0x02}); }
Bytes WrongReport(const Bytes& request) {
  Bytes reply = RightAnswer(request);
  reply.resize(reply.size() - 2);
  reply[5] = 1;  // packet 1 for packet 0
  for (size_t i = 6; i < 11; ++i) reply[i] = static_cast<uint8_t>("WRONG"[i - 6]);
  return WithCrc(reply);
}

struct MismatchCase {
  const char* name;
  uint32_t command;
  Gate gate;
  Bytes values;
  std::function<Bytes(const Bytes&)> firstAnswer;
  const char* logged;
};

class MismatchedReplyTest : public TransferTest, public ::testing::WithParamInterface<MismatchCase> {
 protected:
  void TearDown() override {
    ZelHostClearGates();
    TransferTest::TearDown();
  }
};

TEST_P(MismatchedReplyTest, IsRetriedAndNeverStored) {
  const MismatchCase& c = GetParam();
  const auto first = c.firstAnswer;
  Start([first](const Bytes& r, int index) { return index == 0 ? first(r) : RightAnswer(r); });
  ZelHostAddGate("R0101001");
  Bytes values = c.values;
  ASSERT_EQ(Transfer(c.command, c.gate, values.data()), kResultDone);
  EXPECT_TRUE(log_.Contains(c.logged)) << c.logged;
  const std::vector<Bytes> requests = Requests();
  ASSERT_EQ(requests.size(), 2u) << "one wrong receive, one retry";
  EXPECT_EQ(requests[0], requests[1]) << "the retry is the same request";
  if (c.command == kCmdBlockRead) {
    EXPECT_EQ(Bytes(values.begin(), values.begin() + 4), (Bytes{0x22, 0x22, 0x33, 0x33}));
  }
  if (c.gate.memoryType == 65) {
    char text[256] = {};
    ASSERT_TRUE(ZelHostGateText("R0101001", text, sizeof text));
    EXPECT_EQ(std::string(text).find("WRONG"), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("RIGHT"), std::string::npos) << text;
  }
}

const Bytes kWord = {0, 0, 0x34, 0x12};
const Bytes kOn = {0, 0, 1, 0};

INSTANTIATE_TEST_SUITE_P(
    Replies, MismatchedReplyTest,
    ::testing::Values(
        MismatchCase{"ReadOfAnotherByteCount", kCmdBlockRead, Gate{.memoryType = 4, .count = 2},
                     Bytes(8, 0xAA), ShortRead, "KOVRIN> Receive() byte count 2, 4 expected"},
        MismatchCase{"ReadAnsweredByAnotherStation", kCmdBlockRead, Gate{.memoryType = 4, .count = 2},
                     Bytes(8, 0xAA), WithByte(0, 2), "KOVRIN> Wrong plc addr.2h received"},
        MismatchCase{"ReadAnsweredByAnotherFunctionsException", kCmdBlockRead,
                     Gate{.memoryType = 4, .count = 2}, Bytes(8, 0xAA), OtherFunctionsException,
                     "KOVRIN> Different function with 0x80 returned"},
        MismatchCase{"RegisterWriteEchoOfAnotherValue", kCmdSingleWrite, Gate{.memoryType = 4, .address = 5},
                     kWord, WithByte(5, 0x99), "KOVRIN> Receive() reply echoes 0005 1299, request 0005 1234"},
        MismatchCase{"RegisterWriteEchoOfAnotherAddress", kCmdSingleWrite,
                     Gate{.memoryType = 4, .address = 5}, kWord, WithByte(3, 0x06),
                     "KOVRIN> Receive() reply echoes 0006 1234, request 0005 1234"},
        MismatchCase{"CoilWriteEchoOfOff", kCmdSingleWrite,
                     Gate{.memoryType = 0, .address = 7, .width = 1, .gateType = 6}, kOn, WithByte(4, 0x00),
                     "KOVRIN> Receive() reply echoes 0007 0000, request 0007 ff00"},
        MismatchCase{"RegisterBlockEchoOfAnotherQuantity",
                     kCmdBlockWrite,
                     Gate{.memoryType = 4, .count = 2},
                     {0x34, 0x12, 0x78, 0x56},
                     WithByte(5, 0x01),
                     "KOVRIN> Receive() reply echoes 0000 0001, request 0000 0002"},
        MismatchCase{"CoilBlockEchoOfAnotherAddress",
                     kCmdBlockWrite,
                     Gate{.memoryType = 0, .address = 0x20, .width = 1, .gateType = 6, .count = 10},
                     {0xCD, 0x02},
                     WithByte(3, 0x21),
                     "KOVRIN> Receive() reply echoes 0021 000a, request 0020 000a"},
        MismatchCase{"ReportPacketOfAnotherNumber",
                     kCmdSingleWrite,
                     Gate{.plc = 1, .memoryType = 65, .gateType = 0, .gas = "!R01"},
                     {0, 0, 1, 0},
                     WrongReport,
                     "KOVRIN> Receive() reply echoes 238d 0001, request 238d 0000"},
        MismatchCase{"ReportPacketOfAnotherReport",
                     kCmdSingleWrite,
                     Gate{.plc = 1, .memoryType = 65, .gateType = 0, .gas = "!R01"},
                     {0, 0, 1, 0},
                     WithByte(3, 0x8E),
                     "KOVRIN> Receive() reply echoes 238e 0000, request 238d 0000"}),
    [](const ::testing::TestParamInfo<MismatchCase>& info) { return info.param.name; });

}  // namespace
