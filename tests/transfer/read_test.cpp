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

INSTANTIATE_TEST_SUITE_P(Kinds, ReadCases,
                         ::testing::Values(ReadCase{"HoldingRegister",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 4, 0x10, -1, 16, 2, 1},
                                                    {0x12, 0x34},
                                                    {0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF},
                                                    Area({0xAA, 0xAA, 0x34, 0x12}),
                                                    -1},
                                           ReadCase{"LowByte",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 260, 0x10, -1, 16, 2, 1},
                                                    {0x12, 0x34},
                                                    {0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF},
                                                    Area({0xAA, 0xAA, 0x34, 0x00}),
                                                    -1},
                                           ReadCase{"HighByte",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 516, 0x10, -1, 16, 2, 1},
                                                    {0x12, 0x34},
                                                    {0x01, 0x03, 0x00, 0x10, 0x00, 0x01, 0x85, 0xCF},
                                                    Area({0xAA, 0xAA, 0x12, 0x00}),
                                                    -1},
                                           ReadCase{"InputRegister",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{7, 3, 0x0102, -1, 16, 2, 1},
                                                    {0xFF, 0xFE},
                                                    WithCrc({0x07, 0x04, 0x01, 0x02, 0x00, 0x01}),
                                                    Area({0xAA, 0xAA, 0xFE, 0xFF}),
                                                    -1},
                                           ReadCase{"UnsignedLong",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 8, 50, -1, 32, 4, 1},
                                                    {0x11, 0x22, 0x33, 0x44},
                                                    {0x01, 0x03, 0x00, 0x64, 0x00, 0x02, 0x85, 0xD4},
                                                    Area({0x44, 0x33, 0x22, 0x11}),
                                                    -1},
                                           ReadCase{"UnsignedLongSwapped",
                                                    "SWAP = YES\n",
                                                    kCmdSingleRead,
                                                    Gate{1, 8, 50, -1, 32, 4, 1},
                                                    {0x11, 0x22, 0x33, 0x44},
                                                    {0x01, 0x03, 0x00, 0x64, 0x00, 0x02, 0x85, 0xD4},
                                                    Area({0x22, 0x11, 0x44, 0x33}),
                                                    -1},
                                           ReadCase{"LongAddress",
                                                    "LONGADDR = YES\n",
                                                    kCmdSingleRead,
                                                    Gate{1, 8, 50, -1, 32, 4, 1},
                                                    {0x11, 0x22, 0x33, 0x44},
                                                    WithCrc({0x01, 0x03, 0x00, 0x32, 0x00, 0x02}),
                                                    Area({0x44, 0x33, 0x22, 0x11}),
                                                    -1},
                                           ReadCase{"FloatIgnoresIntegerSwap",
                                                    "SWAP = YES\n",
                                                    kCmdSingleRead,
                                                    Gate{1, 7, 0, -1, 32, 3, 1},
                                                    {0x3F, 0x80, 0x00, 0x00},
                                                    WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}),
                                                    Area({0x00, 0x00, 0x80, 0x3F}),
                                                    -1},
                                           ReadCase{"FloatSwapped",
                                                    "FLOATSWAP = YES\n",
                                                    kCmdSingleRead,
                                                    Gate{1, 5, 2, -1, 32, 3, 1},
                                                    {0x00, 0x00, 0x3F, 0x80},
                                                    WithCrc({0x01, 0x04, 0x00, 0x04, 0x00, 0x02}),
                                                    Area({0x00, 0x00, 0x80, 0x3F}),
                                                    -1},
                                           ReadCase{"CoilOnlyBitZeroCounts",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 0, 5, -1, 1, 6, 1},
                                                    {0x03},
                                                    WithCrc({0x01, 0x01, 0x00, 0x05, 0x00, 0x01}),
                                                    Area({0xAA, 0xAA, 0x01, 0x00}),
                                                    -1},
                                           ReadCase{"InputOff",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 1, 5, -1, 1, 6, 1},
                                                    {0x02},
                                                    WithCrc({0x01, 0x02, 0x00, 0x05, 0x00, 0x01}),
                                                    Area({0xAA, 0xAA, 0x00, 0x00}),
                                                    -1},
                                           ReadCase{"RegisterBit",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 4, 0, 3, 1, 6, 1},
                                                    {0x00, 0x08},
                                                    WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
                                                    Area({0xAA, 0xAA, 0x01, 0x00}),
                                                    3},
                                           ReadCase{"HighByteBitLeavesTheRecord",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 516, 0, 0, 1, 6, 1},
                                                    {0x01, 0x00},
                                                    WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
                                                    Area({0xAA, 0xAA, 0x01, 0x00}),
                                                    0},
                                           ReadCase{"HighByteBitSeven",
                                                    "",
                                                    kCmdSingleRead,
                                                    Gate{1, 516, 0, 7, 1, 6, 1},
                                                    {0x80, 0x00},
                                                    WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
                                                    Area({0xAA, 0xAA, 0x01, 0x00}),
                                                    7},
                                           ReadCase{"CoilBlock",
                                                    "",
                                                    kCmdBlockRead,
                                                    Gate{1, 0, 0, -1, 1, 6, 10},
                                                    {0xA5, 0x03},
                                                    WithCrc({0x01, 0x01, 0x00, 0x00, 0x00, 0x0A}),
                                                    Area({0xA5, 0x03}),
                                                    -1},
                                           ReadCase{"RegisterBlock",
                                                    "",
                                                    kCmdBlockRead,
                                                    Gate{2, 4, 0x100, -1, 16, 2, 3},
                                                    {0x00, 0x01, 0x12, 0x34, 0xFF, 0xFF},
                                                    WithCrc({0x02, 0x03, 0x01, 0x00, 0x00, 0x03}),
                                                    Area({0x01, 0x00, 0x34, 0x12, 0xFF, 0xFF}),
                                                    -1},
                                           ReadCase{"HighByteBlock",
                                                    "",
                                                    kCmdBlockRead,
                                                    Gate{1, 516, 0, -1, 16, 2, 2},
                                                    {0x12, 0x34, 0x56, 0x78},
                                                    WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}),
                                                    Area({0x12, 0x00, 0x56, 0x00}),
                                                    -1},
                                           ReadCase{"LongBlockSwapped",
                                                    "SWAP = YES\n",
                                                    kCmdBlockRead,
                                                    Gate{1, 6, 1, -1, 32, 5, 2},
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
  ASSERT_EQ(Call(kCmdCloseCom, nullptr), kResultDone);
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
  const Gate reportGate{1, 65, 0, -1, 16, 7, 1};
  EXPECT_EQ(Transfer(kCmdSingleRead, reportGate, values.data()), kResultFailed);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{1, 2, 0, -1, 16, 2, 1}, values.data()), kResultFailed);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{1, 4, 0, -1, 16, 2, 128}, values.data()), kResultFailed);
  EXPECT_TRUE(log_.Contains("KOVRIN> BlockRead() block of 128 values does not fit one frame"));
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{1, 8, 0, -1, 32, 4, 64}, values.data()), kResultFailed);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{1, 0, 0, -1, 1, 6, 2041}, values.data()), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 0);
  EXPECT_EQ(values, Bytes(1024, 0xAA));
  // The largest blocks that fit go out.
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{1, 4, 0, -1, 16, 2, 127}, values.data()), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 1);
}

TEST_F(TransferTest, ReplyShorterThanTheCountFailsWithoutStoring) {
  Start([](const Bytes& r, int) { return ReadReply(r, {0x00, 0x01, 0x00, 0x02}); });
  Bytes values(16, 0xAA);
  EXPECT_EQ(Transfer(kCmdBlockRead, Gate{1, 4, 0, -1, 16, 2, 5}, values.data()), kResultFailed);
  EXPECT_EQ(values, Bytes(16, 0xAA));
  EXPECT_TRUE(log_.Contains("KOVRIN> DoRead() reply carries 4 data bytes, 10 needed"));
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{1, 8, 0, -1, 32, 4, 1}, values.data()), kResultDone);
}

TEST_F(TransferTest, WidthOutsideTheKnownOnesFailsAfterTheExchange) {
  Start([](const Bytes& r, int) { return ReadReply(r, kGood); });
  Bytes values(4, 0xAA);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{1, 4, 0, -1, 8, 2, 1}, values.data()), kResultFailed);
  EXPECT_EQ(values, Bytes(4, 0xAA));
  EXPECT_EQ(device_->RequestCount(), 1);
}

}  // namespace
