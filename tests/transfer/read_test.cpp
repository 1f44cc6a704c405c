// Reads: request frames, decoding into the value area, the retry scheme.

#include "tests/transfer/transfer_fixture.h"

namespace {

struct ReadCase {
  const char* name;
  const char* initFile;
  uint32_t command;
  Gate gate;
  Bytes data;       // reply data bytes
  Bytes request;    // expected request, CRC included
  Bytes valueArea;  // expected value area (starts as 0xAA bytes)
  int32_t recordBitAfter;
};

Bytes Area(std::initializer_list<uint8_t> head, size_t size = 8) {
  Bytes area(head);
  area.resize(size, 0xAA);
  return area;
}

class ReadCases : public TransferTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadCases, RequestAndStoredValue) {
  const ReadCase& c = GetParam();
  const Bytes data = c.data;
  Start([data](const Bytes& request, int) { return ReadReply(request, data); }, c.initFile);
  Bytes values(8, 0xAA);
  ASSERT_EQ(Transfer(c.command, c.gate, values.data()), kResultDone);
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0], c.request);
  EXPECT_EQ(values, c.valueArea);
  EXPECT_EQ(transfer_.bit, c.recordBitAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadCases,
    ::testing::Values(ReadCase{"HoldingRegister",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 4, .address = 0x10},
                               {0x12, 0x34},
                               {0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF},
                               Area({0xAA, 0xAA, 0x34, 0x12}),
                               -1},
                      ReadCase{"LowByte",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 260, .address = 0x10},
                               {0x12, 0x34},
                               {0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF},
                               Area({0xAA, 0xAA, 0x34, 0x00}),
                               -1},
                      ReadCase{"HighByte",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 516, .address = 0x10},
                               {0x12, 0x34},
                               {0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF},
                               Area({0xAA, 0xAA, 0x12, 0x00}),
                               -1},
                      ReadCase{"InputRegister",
                               "",
                               kCmdSingleRead,
                               Gate{.plc = 7, .memoryType = 3, .address = 0x0102},
                               {0xFF, 0xFE},
                               WithCrc({0x07, 0x04, 0x01, 0x02, 0x00, 0x01}),
                               Area({0xAA, 0xAA, 0xFE, 0xFF}),
                               -1},
                      ReadCase{"UnsignedLong",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 8, .address = 50, .width = 32, .gateType = 4},
                               {0x11, 0x22, 0x33, 0x44},
                               {0x01, 0x03, 0x00, 0x64, 0x00, 0x02, 0x85, 0xD4},
                               Area({0x44, 0x33, 0x22, 0x11}),
                               -1},
                      ReadCase{"UnsignedLongSwapped",
                               "SWAP = YES\n",
                               kCmdSingleRead,
                               Gate{.memoryType = 8, .address = 50, .width = 32, .gateType = 4},
                               {0x11, 0x22, 0x33, 0x44},
                               {0x01, 0x03, 0x00, 0x64, 0x00, 0x02, 0x85, 0xD4},
                               Area({0x22, 0x11, 0x44, 0x33}),
                               -1},
                      ReadCase{"LongAddress",
                               "LONGADDR = YES\n",
                               kCmdSingleRead,
                               Gate{.memoryType = 8, .address = 50, .width = 32, .gateType = 4},
                               {0x11, 0x22, 0x33, 0x44},
                               WithCrc({0x01, 0x03, 0x00, 0x32, 0x00, 0x02}),
                               Area({0x44, 0x33, 0x22, 0x11}),
                               -1},
                      ReadCase{"FloatIgnoresIntegerSwap",
                               "SWAP = YES\n",
                               kCmdSingleRead,
                               Gate{.memoryType = 7, .width = 32, .gateType = 3},
                               {0x3F, 0x80, 0x00, 0x00},
                               WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}),
                               Area({0x00, 0x00, 0x80, 0x3F}),
                               -1},
                      ReadCase{"FloatSwapped",
                               "FLOATSWAP = YES\n",
                               kCmdSingleRead,
                               Gate{.memoryType = 5, .address = 2, .width = 32, .gateType = 3},
                               {0x00, 0x00, 0x3F, 0x80},
                               WithCrc({0x01, 0x04, 0x00, 0x04, 0x00, 0x02}),
                               Area({0x00, 0x00, 0x80, 0x3F}),
                               -1},
                      ReadCase{"CoilOnlyBitZeroCounts",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 0, .address = 5, .width = 1, .gateType = 6},
                               {0x03},
                               WithCrc({0x01, 0x01, 0x00, 0x05, 0x00, 0x01}),
                               Area({0xAA, 0xAA, 0x01, 0x00}),
                               -1},
                      ReadCase{"InputOff",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 1, .address = 5, .width = 1, .gateType = 6},
                               {0x02},
                               WithCrc({0x01, 0x02, 0x00, 0x05, 0x00, 0x01}),
                               Area({0xAA, 0xAA, 0x00, 0x00}),
                               -1},
                      ReadCase{"RegisterBit",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 4, .bit = 3, .width = 1, .gateType = 6},
                               {0x00, 0x08},
                               WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
                               Area({0xAA, 0xAA, 0x01, 0x00}),
                               3},
                      ReadCase{"HighByteBitLeavesTheRecord",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 516, .bit = 0, .width = 1, .gateType = 6},
                               {0x01, 0x00},
                               WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
                               Area({0xAA, 0xAA, 0x01, 0x00}),
                               0},
                      ReadCase{"HighByteBitSeven",
                               "",
                               kCmdSingleRead,
                               Gate{.memoryType = 516, .bit = 7, .width = 1, .gateType = 6},
                               {0x80, 0x00},
                               WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
                               Area({0xAA, 0xAA, 0x01, 0x00}),
                               7},
                      ReadCase{"CoilBlock",
                               "",
                               kCmdBlockRead,
                               Gate{.memoryType = 0, .width = 1, .gateType = 6, .count = 10},
                               {0xA5, 0x03},
                               WithCrc({0x01, 0x01, 0x00, 0x00, 0x00, 0x0A}),
                               Area({0xA5, 0x03}),
                               -1},
                      ReadCase{"RegisterBlock",
                               "",
                               kCmdBlockRead,
                               Gate{.plc = 2, .memoryType = 4, .address = 0x100, .count = 3},
                               {0x00, 0x01, 0x12, 0x34, 0xFF, 0xFF},
                               WithCrc({0x02, 0x03, 0x01, 0x00, 0x00, 0x03}),
                               Area({0x01, 0x00, 0x34, 0x12, 0xFF, 0xFF}),
                               -1},
                      ReadCase{"HighByteBlock",
                               "",
                               kCmdBlockRead,
                               Gate{.memoryType = 516, .count = 2},
                               {0x12, 0x34, 0x56, 0x78},
                               WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}),
                               Area({0x12, 0x00, 0x56, 0x00}),
                               -1},
                      ReadCase{"LongBlockSwapped",
                               "SWAP = YES\n",
                               kCmdBlockRead,
                               Gate{.memoryType = 6, .address = 1, .width = 32, .gateType = 5, .count = 2},
                               {0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04},
                               WithCrc({0x01, 0x04, 0x00, 0x02, 0x00, 0x04}),
                               Bytes{0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00},
                               -1}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

// How the retry scheme ends for a device that always answers the same way.
struct RetryCase {
  const char* name;
  std::function<Bytes(const Bytes&, int)> responder;
  int32_t result;
  int requests;
  std::vector<std::string> mustLog;
};

class ReadRetries : public TransferTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(ReadRetries, AttemptsAndResult) {
  const RetryCase& c = GetParam();
  Start(c.responder);
  Bytes values(4, 0xAA);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{}, values.data()), c.result);
  EXPECT_EQ(device_->RequestCount(), c.requests);
  for (const std::string& line : c.mustLog) EXPECT_TRUE(log_.Contains(line)) << line;
  if (c.result != kResultDone) {
    EXPECT_EQ(values, Bytes(4, 0xAA)) << "a failed read must not store";
    EXPECT_TRUE(log_.Contains("KOVRIN> SingleRead() , ret val is " + std::to_string(c.result)));
  }
}

const Bytes kGood = {0x12, 0x34};

INSTANTIATE_TEST_SUITE_P(
    Schemes, ReadRetries,
    ::testing::Values(
        RetryCase{
            "Silent",
            [](const Bytes&, int) { return Bytes(); },
            kResultTransport,
            3,
            {"KOVRIN> DoRead() error reading reply, retry 1", "KOVRIN> DoRead() error reading reply, retry 2",
             "KOVRIN> DoRead() error reading reply, retry 3", "DoRead() : len=6"}},
        RetryCase{"WrongSlaveAlways",
                  [](const Bytes& r, int) {
                    return WithCrc({0x02, r[1], 0x02, 0x12, 0x34});
                  },
                  kResultFailed,
                  10,
                  {"KOVRIN> Wrong plc addr.2h received", "Wrong receive (still 9 tries)",
                   "Wrong receive (still 1 tries)"}},
        RetryCase{"BadCrcTwiceThenGood",
                  [](const Bytes& r, int i) {
                    const Bytes reply = ReadReply(r, kGood);
                    return i < 2 ? BreakCrc(reply) : reply;
                  },
                  kResultDone,
                  3,
                  {"KOVRIN> DoRead() crc error, retry 1", "KOVRIN> DoRead() crc error, retry 2"}},
        RetryCase{"WrongFunctionThenGood",
                  [](const Bytes& r, int i) {
                    return i < 5 ? WithCrc({r[0], 0x04, 0x02, 0x00, 0x00}) : ReadReply(r, kGood);
                  },
                  kResultDone,
                  6,
                  {"KOVRIN> Different function returned"}},
        RetryCase{"IllegalFunctionAlways",
                  [](const Bytes& r, int) { return ExceptionReply(r, 1); },
                  kResultFailed,
                  3,
                  {"KOVRIN> (MB-protocol) Illegal function", "KOVRIN> DoRead() received 0x80 error code"}},
        RetryCase{
            "IllegalAddressAlways",
            [](const Bytes& r, int) { return ExceptionReply(r, 2); },
            kResultFailed,
            3,
            {"KOVRIN> (MB-protocol) Illegal data address", "KOVRIN> DoRead() error reading reply, retry 3"}},
        RetryCase{"DeviceFailureAlways",
                  [](const Bytes& r, int) { return ExceptionReply(r, 4); },
                  kResultTransport,
                  3,
                  {"KOVRIN> (MB-protocol) Failure in associated device"}},
        RetryCase{"ShortDataThenSilent",
                  [](const Bytes& r, int i) {
                    return i == 0 ? Bytes{r[0], r[1], 0x02, 0x12} : Bytes();
                  },
                  // the wrong receive costs no counted attempt
                  kResultTransport,
                  4,
                  {"KOVRIN> Receive() wrong length last data part message. iToRead 4, iRead 1"}}),
    [](const ::testing::TestParamInfo<RetryCase>& info) { return info.param.name; });

TEST_F(TransferTest, ExceptionLineIsLoggedOncePerTransaction) {
  Start([](const Bytes& r, int) { return ExceptionReply(r, 1); });
  Bytes values(4, 0);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{}, values.data()), kResultFailed);
  EXPECT_EQ(log_.Count("KOVRIN> DoRead() received 0x80 error code"), 1);
  EXPECT_EQ(log_.Count("DoRead() : len=6"), 1);
  EXPECT_EQ(log_.Count("DoRead() : sRetry=2, reply_len=5"), 1);
}

TEST_F(TransferTest, ReadsWithoutPortAreRefusedSilently) {
  Start([](const Bytes& r, int) { return ReadReply(r, kGood); });
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  log_.Clear();
  Bytes values(4, 0);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{}, values.data()), kResultFailed);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{}, values.data()), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 0);
  EXPECT_TRUE(log_.lines().empty());
}

// Requests a sound driver refuses before anything goes on the line.
TEST_F(TransferTest, UnsendableReadsAreRefused) {
  Start([](const Bytes& r, int) { return ReadReply(r, kGood); });
  Bytes values(1024, 0xAA);
  const Gate reportGate{.memoryType = 65, .gateType = 7};
  EXPECT_EQ(Transfer(kCmdSingleRead, reportGate, values.data()), kResultFailed);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{.memoryType = 2}, values.data()), kResultFailed);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{.memoryType = 4, .count = 128}, values.data()), kResultFailed);
  EXPECT_TRUE(log_.Contains("KOVRIN> BlockRead() block of 128 values does not fit one frame"));
  EXPECT_EQ(
      Transfer(kCmdBlockRead, Gate{.memoryType = 8, .width = 32, .gateType = 4, .count = 64}, values.data()),
      kResultFailed);
  EXPECT_EQ(
      Transfer(kCmdBlockRead, Gate{.memoryType = 0, .width = 1, .gateType = 6, .count = 2041}, values.data()),
      kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 0);
  EXPECT_EQ(values, Bytes(1024, 0xAA));
  // The largest blocks that fit go out (the device's short answer to them
  // is a wrong receive: 1 attempt and 9 more).
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{.memoryType = 4, .count = 127}, values.data()), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 10);
}

// A reply carries exactly the byte count its request asked for; any other
// answers another request: a wrong receive, retried, and nothing stored.
TEST_F(TransferTest, ReplyOfAnotherByteCountFailsWithoutStoring) {
  Start([](const Bytes& r, int) { return ReadReply(r, {0x00, 0x01, 0x00, 0x02}); });
  Bytes values(16, 0xAA);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{.memoryType = 4, .count = 5}, values.data()), kResultFailed);
  EXPECT_EQ(values, Bytes(16, 0xAA));
  EXPECT_TRUE(log_.Contains("KOVRIN> Receive() byte count 4, 10 expected"));
  EXPECT_EQ(device_->RequestCount(), 10);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{.memoryType = 8, .width = 32, .gateType = 4}, values.data()),
            kResultDone);
}

TEST_F(TransferTest, WidthOutsideTheKnownOnesFailsAfterTheExchange) {
  Start([](const Bytes& r, int) { return ReadReply(r, kGood); });
  Bytes values(4, 0xAA);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{.memoryType = 4, .width = 8}, values.data()), kResultFailed);
  EXPECT_EQ(values, Bytes(4, 0xAA));
  EXPECT_EQ(device_->RequestCount(), 1);
}

}  // namespace
