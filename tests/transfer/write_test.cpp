// Writes: frames for every kind, read-modify-write, the ten attempts.

#include "tests/transfer/transfer_fixture.h"

namespace {

// A holding register the device holds for the pre-read.
Bytes RegisterDevice(const Bytes& request, uint16_t current) {
  if (request[1] == 0x03)
    return ReadReply(request, {static_cast<uint8_t>(current >> 8), static_cast<uint8_t>(current)});
  return WriteEcho(request);
}

struct WriteCase {
  const char* name;
  const char* initFile;
  uint32_t command;
  Gate gate;
  Bytes valueArea;
  uint16_t current;    // register value for a pre-read
  Bytes writeRequest;  // expected write frame without CRC
  int32_t recordBitAfter;
};

class WriteCases : public TransferTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteCases, Frame) {
  const WriteCase& c = GetParam();
  const uint16_t current = c.current;
  Start([current](const Bytes& r, int) { return RegisterDevice(r, current); }, c.initFile);
  Bytes values = c.valueArea;
  ASSERT_EQ(Transfer(c.command, c.gate, values.data()), kResultDone);
  const std::vector<Bytes> requests = Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), WithCrc(c.writeRequest));
  EXPECT_EQ(transfer_.bit, c.recordBitAfter);
  EXPECT_EQ(instance().writeInProgress, 0u);
}

const Bytes kOne = {0, 0, 1, 0};
const Bytes kZero = {0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriteCases,
    ::testing::Values(
        WriteCase{"CoilOn",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 0, .address = 7, .width = 1, .gateType = 6},
                  kOne,
                  0,
                  {0x01, 0x05, 0x00, 0x07, 0xFF, 0x00},
                  -1},
        WriteCase{"CoilAnyNonZeroIsOn",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 0, .address = 7, .width = 1, .gateType = 6},
                  {0, 0, 0, 2},
                  0,
                  {0x01, 0x05, 0x00, 0x07, 0xFF, 0x00},
                  -1},
        WriteCase{"CoilOff",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 0, .address = 7, .width = 1, .gateType = 6},
                  kZero,
                  0,
                  {0x01, 0x05, 0x00, 0x07, 0x00, 0x00},
                  -1},
        WriteCase{"Register",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 4, .address = 0x10},
                  {9, 9, 0x34, 0x12},
                  0,
                  {0x01, 0x06, 0x00, 0x10, 0x12, 0x34},
                  -1},
        WriteCase{"UnsignedLong",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 8, .address = 50, .width = 32, .gateType = 4},
                  {0x44, 0x33, 0x22, 0x11},
                  0,
                  {0x01, 0x10, 0x00, 0x64, 0x00, 0x02, 0x04, 0x11, 0x22, 0x33, 0x44},
                  -1},
        WriteCase{"UnsignedLongSwapped",
                  "SWAP=YES\n",
                  kCmdSingleWrite,
                  Gate{.memoryType = 8, .address = 50, .width = 32, .gateType = 4},
                  {0x44, 0x33, 0x22, 0x11},
                  0,
                  {0x01, 0x10, 0x00, 0x64, 0x00, 0x02, 0x04, 0x33, 0x44, 0x11, 0x22},
                  -1},
        WriteCase{"FloatSwapped",
                  "FLOATSWAP=YES\n",
                  kCmdSingleWrite,
                  Gate{.memoryType = 7, .width = 32, .gateType = 3},
                  {0x00, 0x00, 0x80, 0x3F},
                  0,
                  {0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80},
                  -1},
        WriteCase{"FloatIgnoresIntegerSwap",
                  "SWAP=YES\n",
                  kCmdSingleWrite,
                  Gate{.memoryType = 7, .width = 32, .gateType = 3},
                  {0x00, 0x00, 0x80, 0x3F},
                  0,
                  {0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x3F, 0x80, 0x00, 0x00},
                  -1},
        WriteCase{"LongAddress",
                  "LONGADDR=YES\n",
                  kCmdSingleWrite,
                  Gate{.memoryType = 8, .address = 50, .width = 32, .gateType = 4},
                  {0x44, 0x33, 0x22, 0x11},
                  0,
                  {0x01, 0x10, 0x00, 0x32, 0x00, 0x02, 0x04, 0x11, 0x22, 0x33, 0x44},
                  -1},
        WriteCase{"SetBit",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 4, .bit = 3, .width = 1, .gateType = 6},
                  kOne,
                  0x00F0,
                  {0x01, 0x06, 0x00, 0x00, 0x00, 0xF8},
                  3},
        WriteCase{"ClearBit",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 4, .bit = 4, .width = 1, .gateType = 6},
                  kZero,
                  0x00F0,
                  {0x01, 0x06, 0x00, 0x00, 0x00, 0xE0},
                  4},
        WriteCase{"BitValueTwoSetsOnlyThatBit",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 4, .bit = 3, .width = 1, .gateType = 6},
                  {0, 0, 2, 0},
                  0x0000,
                  {0x01, 0x06, 0x00, 0x00, 0x00, 0x08},
                  3},
        WriteCase{"LowByte",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 260},
                  {0, 0, 0xAB, 0},
                  0x1234,
                  {0x01, 0x06, 0x00, 0x00, 0x12, 0xAB},
                  -1},
        WriteCase{"HighByte",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 516},
                  {0, 0, 0xAB, 0},
                  0x1234,
                  {0x01, 0x06, 0x00, 0x00, 0xAB, 0x34},
                  -1},
        WriteCase{"HighByteBit",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 516, .bit = 2, .width = 1, .gateType = 6},
                  kOne,
                  0x0000,
                  {0x01, 0x06, 0x00, 0x00, 0x04, 0x00},
                  2},
        WriteCase{"HighByteBitSeven",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 516, .bit = 7, .width = 1, .gateType = 6},
                  kZero,
                  0xFFFF,
                  {0x01, 0x06, 0x00, 0x00, 0x7F, 0xFF},
                  7},
        WriteCase{"LowByteBit",
                  "",
                  kCmdSingleWrite,
                  Gate{.memoryType = 260, .bit = 7, .width = 1, .gateType = 6},
                  kOne,
                  0x1200,
                  {0x01, 0x06, 0x00, 0x00, 0x12, 0x80},
                  7},
        WriteCase{"CoilBlock",
                  "",
                  kCmdBlockWrite,
                  Gate{.memoryType = 0, .address = 0x20, .width = 1, .gateType = 6, .count = 10},
                  {0xCD, 0x02},
                  0,
                  {0x01, 0x0F, 0x00, 0x20, 0x00, 0x0A, 0x02, 0xCD, 0x02},
                  -1},
        WriteCase{"RegisterBlock",
                  "",
                  kCmdBlockWrite,
                  Gate{.memoryType = 4, .count = 2},
                  {0x34, 0x12, 0x78, 0x56},
                  0,
                  {0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78},
                  -1},
        WriteCase{"LongBlockUsesEightByteCells",
                  "",
                  kCmdBlockWrite,
                  Gate{.memoryType = 8, .address = 1, .width = 32, .gateType = 4, .count = 3},
                  {1, 0, 0, 0, 9, 9, 9, 9, 2, 0, 0, 0, 9, 9, 9, 9, 3, 0, 0, 0, 9, 9, 9, 9},
                  0,
                  {0x01, 0x10, 0x00, 0x02, 0x00, 0x03, 0x0C, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3},
                  -1},
        WriteCase{"FloatBlockSwapped",
                  "FLOATSWAP=YES\n",
                  kCmdBlockWrite,
                  Gate{.memoryType = 7, .width = 32, .gateType = 3},
                  {0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0},
                  0,
                  {0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x04, 0x00, 0x00, 0x3F, 0x80},
                  -1}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(TransferTest, ReadModifyWriteReadsTheRegisterFirst) {
  Start([](const Bytes& r, int) { return RegisterDevice(r, 0x00F0); });
  Bytes values = {0, 0, 1, 0};
  ASSERT_EQ(Transfer(kCmdSingleWrite,
                     Gate{.plc = 3, .memoryType = 4, .address = 0x20, .bit = 3, .width = 1, .gateType = 6},
                     values.data()),
            kResultDone);
  const std::vector<Bytes> requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], WithCrc({0x03, 0x03, 0x00, 0x20, 0x00, 0x01}));
}

TEST_F(TransferTest, FailedPreReadSendsNoWrite) {
  Start([](const Bytes& r, int) { return ExceptionReply(r, 2); });
  Bytes values = {0, 0, 1, 0};
  EXPECT_EQ(
      Transfer(kCmdSingleWrite, Gate{.memoryType = 4, .bit = 3, .width = 1, .gateType = 6}, values.data()),
      kResultFailed);
  for (const Bytes& request : Requests()) EXPECT_EQ(request[1], 0x03);
  EXPECT_TRUE(log_.Contains("KOVRIN> SingleWrite() error SingleRead() for spec. dig. gate, rc=1"));
}

struct WriteRetryCase {
  const char* name;
  std::function<Bytes(const Bytes&, int)> responder;
  int32_t result;
  int requests;
};

class WriteRetries : public TransferTest, public ::testing::WithParamInterface<WriteRetryCase> {};

TEST_P(WriteRetries, AttemptsAndResult) {
  const WriteRetryCase& c = GetParam();
  Start(c.responder);
  Bytes values = {0, 0, 0x34, 0x12};
  EXPECT_EQ(Transfer(kCmdSingleWrite, Gate{}, values.data()), c.result);
  EXPECT_EQ(device_->RequestCount(), c.requests);
  EXPECT_EQ(instance().writeInProgress, 0u);
  if (c.result != kResultDone) {
    EXPECT_TRUE(log_.Contains("KOVRIN> SingleWrite() exited, rc= " + std::to_string(c.result)));
    EXPECT_TRUE(log_.Contains("DORZA, Do write, retry 9"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, WriteRetries,
    ::testing::Values(
        WriteRetryCase{"Silent", [](const Bytes&, int) { return Bytes(); }, kResultTransport, 10},
        WriteRetryCase{"ExceptionAlways", [](const Bytes& r, int) { return ExceptionReply(r, 1); },
                       kResultFailed, 10},
        WriteRetryCase{"IllegalValueAlways", [](const Bytes& r, int) { return ExceptionReply(r, 3); },
                       kResultFailed, 10},
        WriteRetryCase{"DeviceFailureAlways", [](const Bytes& r, int) { return ExceptionReply(r, 4); },
                       kResultTransport, 10},
        WriteRetryCase{"WrongSlaveAlways",
                       [](const Bytes& r, int) {
                         Bytes echo(r.begin(), r.begin() + 6);
                         echo[0] = 9;
                         return WithCrc(echo);
                       },
                       kResultFailed, 10},
        WriteRetryCase{"BadCrcUntilTheLastAttempt",
                       [](const Bytes& r, int i) { return i < 9 ? BreakCrc(WriteEcho(r)) : WriteEcho(r); },
                       kResultDone, 10}),
    [](const ::testing::TestParamInfo<WriteRetryCase>& info) { return info.param.name; });

TEST_F(TransferTest, RefusedTransfersSendNothing) {
  Start([](const Bytes& r, int) { return WriteEcho(r); });
  Bytes values(512, 0);  // room for the largest block that fits a frame
  struct Refusal {
    uint32_t command;
    Gate gate;
    const char* message;
  };
  const Refusal refusals[] = {
      {kCmdSingleWrite, Gate{.memoryType = 1, .width = 1, .gateType = 6},
       "KOVRIN> SingleWrite() not allowed for types 1,3,5 and 6"},
      {kCmdSingleWrite, Gate{.memoryType = 3}, "KOVRIN> SingleWrite() not allowed for types 1,3,5 and 6"},
      {kCmdSingleWrite, Gate{.memoryType = 5, .width = 32, .gateType = 3},
       "KOVRIN> SingleWrite() not allowed for types 1,3,5 and 6"},
      {kCmdSingleWrite, Gate{.memoryType = 6, .width = 32, .gateType = 4},
       "KOVRIN> SingleWrite() not allowed for types 1,3,5 and 6"},
      {kCmdSingleWrite, Gate{.memoryType = 65, .gateType = 7, .gas = "R0101001"},
       "KOVRIN> SingleWrite() not allowed for report line gates"},
      {kCmdBlockWrite, Gate{.memoryType = 1, .width = 1, .gateType = 6, .count = 8},
       "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516"},
      {kCmdBlockWrite, Gate{.memoryType = 3, .count = 2},
       "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516"},
      {kCmdBlockWrite, Gate{.memoryType = 5, .width = 32, .gateType = 3, .count = 2},
       "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516"},
      {kCmdBlockWrite, Gate{.memoryType = 6, .width = 32, .gateType = 4, .count = 2},
       "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516"},
      {kCmdBlockWrite, Gate{.memoryType = 260, .count = 2},
       "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516"},
      {kCmdBlockWrite, Gate{.memoryType = 516, .count = 2},
       "KOVRIN> BlockWrite() not allowed for types 1,3,5,6,260 and 516"},
      {kCmdBlockWrite, Gate{.memoryType = 4, .count = 0},
       "KOVRIN> BlockWrite() count 0, a block needs at least 1 value"},
      {kCmdBlockWrite, Gate{.memoryType = 4, .count = -3},
       "KOVRIN> BlockWrite() count -3, a block needs at least 1 value"},
      {kCmdBlockWrite, Gate{.memoryType = 2, .count = 2},
       "KOVRIN> BlockWrite() not allowed for memory type 2"},
      {kCmdBlockWrite, Gate{.memoryType = 65, .count = 2},
       "KOVRIN> BlockWrite() not allowed for memory type 65"},
      {kCmdBlockRead, Gate{.memoryType = 4, .count = 0},
       "KOVRIN> BlockRead() count 0, a block needs at least 1 value"},
      {kCmdBlockRead, Gate{.memoryType = 0, .width = 1, .gateType = 6, .count = -1},
       "KOVRIN> BlockRead() count -1, a block needs at least 1 value"},
      {kCmdSingleRead,
       Gate{.memoryType = 516, .address = 0x12, .bit = 10, .width = 1, .gateType = 6, .gas = "stale"},
       "KOVRIN> DoRead() gate of plc 1, register 18: bit 10 of a high byte lies outside the register"},
      {kCmdSingleWrite,
       Gate{.memoryType = 516, .address = 0x12, .bit = 15, .width = 1, .gateType = 6, .gas = "01H0013F"},
       "KOVRIN> SingleWrite() gate '01H0013F': bit 15 of a high byte lies outside the register"},
      {kCmdSingleWrite,
       Gate{.memoryType = 516, .address = 0x12, .bit = 8, .width = 1, .gateType = 6, .gas = "01H00138"},
       "KOVRIN> SingleWrite() gate '01H00138': bit 8 of a high byte lies outside the register"},
      {kCmdBlockWrite, Gate{.memoryType = 4, .count = 128},
       "KOVRIN> BlockWrite() block of 128 values does not fit one frame"},
      {kCmdBlockWrite, Gate{.memoryType = 8, .width = 32, .gateType = 4, .count = 64},
       "KOVRIN> BlockWrite() block of 64 values does not fit one frame"},
      {kCmdBlockWrite, Gate{.memoryType = 0, .width = 1, .gateType = 6, .count = 2041},
       "KOVRIN> BlockWrite() block of 2041 values does not fit one frame"},
  };
  for (const Refusal& r : refusals) {
    log_.Clear();
    EXPECT_EQ(Transfer(r.command, r.gate, values.data()), kResultFailed) << r.message;
    EXPECT_TRUE(log_.Contains(r.message)) << r.message;
  }
  EXPECT_EQ(Transfer(kCmdBlockWrite, Gate{.memoryType = 4, .width = 8}, values.data()), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 0);
  // The largest blocks that fit go out.
  EXPECT_EQ(Transfer(kCmdBlockWrite, Gate{.memoryType = 4, .count = 127}, values.data()), kResultDone);
  EXPECT_EQ(Transfer(kCmdBlockWrite, Gate{.memoryType = 0, .width = 1, .gateType = 6, .count = 2040},
                     values.data()),
            kResultDone);
}

// Station 0 is the broadcast address: every device carries the write out
// and none answers. Before, the write went out ten times and failed.
struct BroadcastCase {
  const char* name;
  uint32_t command;
  Gate gate;
  Bytes request;  // without CRC
};

class BroadcastWrites : public TransferTest, public ::testing::WithParamInterface<BroadcastCase> {};

TEST_P(BroadcastWrites, GoOutOnceAndSucceedWithoutAnswer) {
  const BroadcastCase& c = GetParam();
  Start([](const Bytes&, int) { return Bytes(); });  // nobody answers a broadcast
  Bytes values = {0x34, 0x12, 0x34, 0x12, 0, 0, 0, 0};
  EXPECT_EQ(Transfer(c.command, c.gate, values.data()), kResultDone);
  ASSERT_EQ(device_->RequestCount(), 1);
  EXPECT_EQ(Requests()[0], WithCrc(c.request));
  EXPECT_EQ(instance().writeInProgress, 0u);
  EXPECT_FALSE(log_.Contains("DORZA, Do write, retry 1"));
}

INSTANTIATE_TEST_SUITE_P(
    PlcZero, BroadcastWrites,
    ::testing::Values(BroadcastCase{"Register",
                                    kCmdSingleWrite,
                                    Gate{.plc = 0, .memoryType = 4, .address = 0x10},
                                    {0x00, 0x06, 0x00, 0x10, 0x12, 0x34}},
                      BroadcastCase{"Coil",
                                    kCmdSingleWrite,
                                    Gate{.plc = 0, .memoryType = 0, .address = 3, .width = 1, .gateType = 6},
                                    {0x00, 0x05, 0x00, 0x03, 0xFF, 0x00}},
                      BroadcastCase{"Long",
                                    kCmdSingleWrite,
                                    Gate{.plc = 0, .memoryType = 8, .address = 1, .width = 32, .gateType = 4},
                                    {0x00, 0x10, 0x00, 0x02, 0x00, 0x02, 0x04, 0x12, 0x34, 0x12, 0x34}},
                      BroadcastCase{"RegisterBlock",
                                    kCmdBlockWrite,
                                    Gate{.plc = 0, .memoryType = 4, .count = 2},
                                    {0x00, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x12, 0x34, 0x12, 0x34}},
                      // The frame carries the plc's low 8 bits: 256 is station 0 on the wire.
                      BroadcastCase{"Plc256IsStationZeroOnTheWire",
                                    kCmdSingleWrite,
                                    Gate{.plc = 256, .memoryType = 4, .address = 0x10},
                                    {0x00, 0x06, 0x00, 0x10, 0x12, 0x34}}),
    [](const ::testing::TestParamInfo<BroadcastCase>& info) { return info.param.name; });

TEST_F(TransferTest, BroadcastWritesThatNeedARegisterFirstAreRefused) {
  Start([](const Bytes& r, int) { return RegisterDevice(r, 0x1234); });
  Bytes values = {0, 0, 1, 0};
  for (const Gate& gate : {Gate{.plc = 0, .memoryType = 4, .bit = 3, .width = 1, .gateType = 6},
                           Gate{.plc = 0, .memoryType = 260}, Gate{.plc = 0, .memoryType = 516},
                           Gate{.plc = 0, .memoryType = 516, .bit = 2, .width = 1, .gateType = 6}}) {
    log_.Clear();
    EXPECT_EQ(Transfer(kCmdSingleWrite, gate, values.data()), kResultFailed);
    EXPECT_EQ(log_.lines(),
              (std::vector<LogLine>{
                  {8, "KOVRIN> SingleWrite() broadcast (plc 0) not allowed for bit and byte gates"}}));
  }
  EXPECT_EQ(device_->RequestCount(), 0);
}

TEST_F(TransferTest, ReadsOfStationZeroKeepTheReadScheme) {
  Start([](const Bytes&, int) { return Bytes(); });
  Bytes values(4, 0xAA);
  EXPECT_EQ(Transfer(kCmdSingleRead, Gate{.plc = 0, .memoryType = 4}, values.data()), kResultTransport);
  EXPECT_EQ(device_->RequestCount(), 3);
}

TEST_F(TransferTest, BroadcastWithoutPortFailsInTransport) {
  Start([](const Bytes&, int) { return Bytes(); });
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  Bytes values(8, 0);
  EXPECT_EQ(Transfer(kCmdBlockWrite, Gate{.plc = 0, .memoryType = 4, .count = 2}, values.data()),
            kResultTransport);
  EXPECT_TRUE(log_.Contains("KOVRIN> DoWrite() broadcast (plc 0) not sent"));
}

// A host may reuse its transfer record; the driver never changes its fields,
// so the same record names the same bit every time.
TEST_F(TransferTest, AReusedHighByteRecordNamesTheSameBitEveryTime) {
  uint16_t held = 0x0800;  // register bit 11: bit 3 of the high byte
  Start([&held](const Bytes& r, int) {
    if (r[1] == 0x06) {
      held = static_cast<uint16_t>((r[4] << 8) | r[5]);
      return WriteEcho(r);
    }
    return ReadReply(r, {static_cast<uint8_t>(held >> 8), static_cast<uint8_t>(held)});
  });
  transfer_ = GateTransfer{};
  transfer_.gas = "01H00013";
  transfer_.plc = 1;
  transfer_.memoryType = 516;
  transfer_.bit = 3;
  transfer_.width = 1;
  transfer_.gateType = 6;
  transfer_.count = 1;
  uint8_t values[4] = {0, 0, 0, 0};
  transfer_.values = values;
  const GateTransfer before = transfer_;
  for (int round = 0; round < 2; ++round) {
    values[2] = 0;
    ASSERT_EQ(session_.Call(kCmdSingleRead, &transfer_), kResultDone);
    EXPECT_EQ(values[2], 1) << round;
  }
  values[2] = 0;
  ASSERT_EQ(session_.Call(kCmdSingleWrite, &transfer_), kResultDone);
  EXPECT_EQ(held, 0x0000);
  values[2] = 1;
  ASSERT_EQ(session_.Call(kCmdSingleWrite, &transfer_), kResultDone);
  EXPECT_EQ(held, 0x0800);
  EXPECT_TRUE(SameRecordWithReserved(transfer_, before)) << "the record is the host's";
}

TEST_F(TransferTest, WritesWithoutPort) {
  Start([](const Bytes& r, int) { return WriteEcho(r); });
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  Bytes values(8, 0);
  EXPECT_EQ(Transfer(kCmdSingleWrite, Gate{}, values.data()), kResultFailed);
  // A block write does not look at the port flag; every attempt fails.
  EXPECT_EQ(Transfer(kCmdBlockWrite, Gate{.memoryType = 4, .count = 2}, values.data()), kResultTransport);
  EXPECT_EQ(device_->RequestCount(), 0);
}

}  // namespace
