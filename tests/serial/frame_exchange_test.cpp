// One frame each way on a real pseudo-terminal: the request's bytes, every
// length rule and message of the reply, the exception codes, RTS switching
// and the inter-frame gap.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "entry/handlers.h"
#include "host_interface/host_library.h"
#include "host_interface/instance.h"
#include "serial/frame.h"
#include "serial/port.h"
#include "tests/support/serial_faults.h"
#include "transfer/exchange.h"
#include "transfer/value_area.h"
#include "tests/support/frame_crc.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"

using namespace kovrin;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double CpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

DWORD InputQueue(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(port, &errors, &status) ? status.cbInQue : 0xFFFFFFFFu;
}

Bytes Report(uint8_t slave, uint8_t textByte) {
  Bytes frame{slave, 65, 0x00, 0x03, 0x00, 0x01};
  frame.insert(frame.end(), 128, textByte);
  return WithCrc(frame);
}

class FrameExchangeTest : public ::testing::Test {
 protected:
  // A short reply timeout keeps the cases that wait for missing bytes fast.
  static constexpr uint32_t kReplyTimeout = 3;  // 30 ms

  void SetUp() override {
    SerialFaultsReset();
    g_lastError = 0;
    // ColdStart must not count on a zeroed area.
    std::memset(&instance_, 0xCD, sizeof instance_);
    ASSERT_EQ(session_.Start(device_.portName(), kReplyTimeout), kResultDone);
    transfer_.plc = 1;
    transfer_.memoryType = kMemHoldingRegisters;
    log_.Clear();
    SerialFaultsReset();
  }
  void TearDown() override {
    SerialFaultsReset();
    g_lastError = 0;
    session_.Close();
  }

  // The frame layer's send as the transfers use it (the last-error
  // indicator kept).
  SendResult Send(const Bytes& request) {
    std::memcpy(instance_.txBuffer, request.data(), request.size());
    return SendRequestFrame(&instance_, instance_.txBuffer, static_cast<int>(request.size()));
  }
  // The device answers; returns once the driver's side holds every byte, so
  // that only deliberately missing bytes make a read wait.
  void Reply(const Bytes& bytes) {
    if (bytes.empty()) return;
    const DWORD expected = InputQueue(instance_.portHandle) + static_cast<DWORD>(bytes.size());
    device_.Send(bytes);
    for (int i = 0; i < 2000 && InputQueue(instance_.portHandle) < expected; ++i) Sleep(1);
    ASSERT_EQ(InputQueue(instance_.portHandle), expected);
  }
  // The reply expected for the request in txBuffer, as the transfers work
  // it out.
  // askedBytes: the byte count the request asked for, when the request in
  // txBuffer does not say it (-1: it does).
  FrameResult Receive(int* length, int askedBytes = -1) {
    ExpectedReply expected = ExpectedReplyFor(&transfer_, instance_.txBuffer, instance_.writeInProgress == 1);
    if (askedBytes >= 0) expected.dataBytes = static_cast<uint8_t>(askedBytes);
    return ReceiveFrame(instance_.portHandle, expected, instance_.rxBuffer, length);
  }

  PtyDevice device_;
  LogCapture log_;
  HostSession session_;
  VpiInstance& instance_ = session_.instance();
  GateTransfer transfer_{};
};

// ---- The request on the wire ----------------------------------------------

TEST_F(FrameExchangeTest, RequestGoesOutWithCrc) {
  ASSERT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), SendResult::kSent);
  EXPECT_EQ(device_.ReceiveExactly(8), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
  EXPECT_EQ(instance_.txBuffer[6], 0x84);
  EXPECT_EQ(instance_.txBuffer[7], 0x0A);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(g_lastError, 0);
}

TEST_F(FrameExchangeTest, ReadReplyIsReadWhole) {
  ASSERT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), SendResult::kSent);
  device_.ReceiveExactly(8);
  Reply({0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B});
  int length = -1;
  EXPECT_EQ(Receive(&length), FrameResult::kDone);
  EXPECT_EQ(length, 7);
  EXPECT_TRUE(FrameCrcMatches(instance_.rxBuffer, length));
}

TEST_F(FrameExchangeTest, AnAttemptDrainsWhatAWrongReplyLeftBehind) {
  ASSERT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), SendResult::kSent);
  device_.ReceiveExactly(8);
  Reply(WithCrc({0x02, 0x03, 0x02, 0x00, 0x2A}));
  int length = -1;
  EXPECT_EQ(Receive(&length), FrameResult::kWrong);
  EXPECT_EQ(InputQueue(instance_.portHandle), 5u) << "nothing read after the wrong address";

  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  std::memcpy(instance_.txBuffer, request, sizeof request);
  std::thread device([this] {
    device_.ReceiveExactly(8);
    device_.Send({0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B});
  });
  const FrameOutcome outcome =
      Transact(FrameLineOf(instance_), instance_.txBuffer, 6,
               ExpectedReplyFor(&transfer_, instance_.txBuffer, false), instance_.rxBuffer, &length, true);
  device.join();
  EXPECT_EQ(outcome, FrameOutcome::kGood);
  EXPECT_EQ(length, 7);
  EXPECT_EQ(LoadBe16(instance_.rxBuffer + 3), 0x2A);
}

// The reply timeout is how long a device may take to start answering: the
// rest of a long reply is allowed its wire time at the line's rate (here
// 9600 baud, 2 ms a byte), not cut off at the 30 ms timeout.
TEST_F(FrameExchangeTest, ALongReplyIsAllowedItsWireTime) {
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x32};  // 50 registers: 100 bytes
  std::memcpy(instance_.txBuffer, request, sizeof request);
  Bytes data(100, 0x5A);
  Bytes reply = {0x01, 0x03, 100};
  reply.insert(reply.end(), data.begin(), data.end());
  reply = WithCrc(reply);
  std::thread trickle([&] {
    // 10 bytes every 10 ms: about 100 ms for the whole reply.
    for (size_t at = 0; at < reply.size(); at += 10) {
      device_.Send(Bytes(reply.begin() + static_cast<long>(at),
                         reply.begin() + static_cast<long>(std::min(at + 10, reply.size()))));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  int length = -1;
  const FrameResult result = Receive(&length);
  trickle.join();
  EXPECT_EQ(result, FrameResult::kDone);
  EXPECT_EQ(length, static_cast<int>(reply.size()));
}

// A read reply whose byte count is not what the request asked for answers
// another request: a wrong frame, found before its data are read.
TEST_F(FrameExchangeTest, AByteCountOtherThanAskedIsAWrongFrame) {
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};  // one register: 2 bytes
  std::memcpy(instance_.txBuffer, request, sizeof request);
  Reply(WithCrc({0x01, 0x03, 0x04, 0x00, 0x2A, 0x00, 0x2B}));
  int length = -1;
  EXPECT_EQ(Receive(&length), FrameResult::kWrong);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(log_.lines(), (std::vector<LogLine>{{kLogDetail, "KOVRIN> Receive() byte count 4, 2 expected"}}));
}

// ---- ReceiveFrame: every length rule and message --------------------------------

struct ReplyCase {
  const char* what;
  uint8_t requestFunction;
  int32_t memoryType;
  uint32_t writeInProgress;
  Bytes reply;
  FrameResult result;
  int length;
  std::vector<std::string> messages;  // all at level 8
};

void PrintTo(const ReplyCase& c, std::ostream* out) { *out << c.what; }

class ReplyTest : public FrameExchangeTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, ResultLengthAndMessages) {
  const ReplyCase& c = GetParam();
  instance_.txBuffer[0] = 1;
  instance_.txBuffer[1] = c.requestFunction;
  instance_.writeInProgress = c.writeInProgress;
  transfer_.memoryType = c.memoryType;
  Reply(c.reply);
  int length = -1;
  // The request asked for the byte count the reply announces (a count
  // other than asked is a case of its own).
  EXPECT_EQ(Receive(&length, c.reply.size() > 2 ? c.reply[2] : 0), c.result);
  EXPECT_EQ(length, c.length);
  std::vector<LogLine> expected;
  for (const std::string& m : c.messages) expected.push_back({kLogDetail, m});
  EXPECT_EQ(log_.lines(), expected);
  // Whatever was read stays at the start of the buffer.
  const size_t kept = std::min(c.reply.size(), static_cast<size_t>(std::max(length, 0)));
  EXPECT_EQ(Bytes(instance_.rxBuffer, instance_.rxBuffer + kept),
            Bytes(c.reply.begin(), c.reply.begin() + kept));
}

const std::string kLastPart = "KOVRIN> Receive() wrong length last data part message. ";

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(
        ReplyCase{"read reply",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B},
                  FrameResult::kDone,
                  7,
                  {}},
        ReplyCase{"read reply with a wrong CRC is still whole",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x03, 0x02, 0x00, 0x2A, 0x00, 0x00},
                  FrameResult::kDone,
                  7,
                  {}},
        ReplyCase{"silent device",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {},
                  FrameResult::kTransport,
                  0,
                  {"KOVRIN> Recieve() timeout 1 (iRead=0)"}},
        ReplyCase{"wrong slave",
                  3,
                  kMemHoldingRegisters,
                  0,
                  WithCrc({0x02, 0x03, 0x02, 0x00, 0x2A}),
                  FrameResult::kWrong,
                  0,
                  {"KOVRIN> Wrong plc addr.2h received"}},
        ReplyCase{"lone wrong byte counts as a wrong address",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0xF7},
                  FrameResult::kWrong,
                  0,
                  {"KOVRIN> Wrong plc addr.f7h received"}},
        ReplyCase{"one-byte header",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01},
                  FrameResult::kWrong,
                  0,
                  {"KOVRIN> Recieve() wrong length reading header (iRead=1)",
                   "KOVRIN> Only right plc addr.1h received"}},
        ReplyCase{"other function",
                  3,
                  kMemHoldingRegisters,
                  0,
                  WithCrc({0x01, 0x04, 0x02, 0x00, 0x2A}),
                  FrameResult::kWrong,
                  2,
                  {"KOVRIN> Different function returned"}},
        ReplyCase{"byte count missing",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x03},
                  FrameResult::kTransport,
                  2,
                  {"KOVRIN> Receive() error reading data part message (iRead=0)"}},
        ReplyCase{"data missing",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x03, 0x02},
                  FrameResult::kTransport,
                  3,
                  {"KOVRIN> Receive() reading timeout last data part message (iRead=0)"}},
        ReplyCase{"short data",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x03, 0x04, 0x00, 0x2A},
                  FrameResult::kWrong,
                  5,
                  {kLastPart + "iToRead 6, iRead 2"}},
        ReplyCase{"byte count 255",
                  3,
                  kMemHoldingRegisters,
                  0,
                  [] {
                    Bytes b{0x01, 0x03, 0xFF};
                    b.insert(b.end(), 255, 0x11);
                    return WithCrc(b);
                  }(),
                  FrameResult::kDone,
                  260,
                  {}},
        ReplyCase{"write echo whatever its third byte says",
                  6,
                  kMemHoldingRegisters,
                  1,
                  WithCrc({0x01, 0x06, 0x00, 0x10, 0x12, 0x34}),
                  FrameResult::kDone,
                  8,
                  {}},
        ReplyCase{"write echo of a multiple write",
                  16,
                  kMemHoldingRegisters,
                  1,
                  WithCrc({0x01, 0x10, 0xFF, 0x10, 0x00, 0x02}),
                  FrameResult::kDone,
                  8,
                  {}},
        ReplyCase{"short write echo",
                  6,
                  kMemHoldingRegisters,
                  1,
                  {0x01, 0x06, 0x00, 0x10},
                  FrameResult::kWrong,
                  4,
                  {kLastPart + "iToRead 6, iRead 2"}},
        ReplyCase{"write echo missing",
                  6,
                  kMemHoldingRegisters,
                  1,
                  {0x01, 0x06},
                  FrameResult::kTransport,
                  2,
                  {"KOVRIN> Receive() reading timeout last data part message (iRead=0)"}},
        ReplyCase{"writeInProgress other than 1 reads by byte count",
                  6,
                  kMemHoldingRegisters,
                  2,
                  WithCrc({0x01, 0x06, 0x02, 0x12, 0x34}),
                  FrameResult::kDone,
                  7,
                  {}},
        ReplyCase{"report packet", 65, kMemReport, 0, Report(1, 'A'), FrameResult::kDone, 136, {}},
        ReplyCase{
            "report packet during a write", 65, kMemReport, 1, Report(1, 'B'), FrameResult::kDone, 136, {}},
        ReplyCase{"short report packet",
                  65,
                  kMemReport,
                  0,
                  [] {
                    Bytes b = Report(1, 'C');
                    b.resize(52);
                    return b;
                  }(),
                  FrameResult::kWrong,
                  52,
                  {kLastPart + "iToRead 134, iRead 50"}},
        ReplyCase{"report packet missing",
                  65,
                  kMemReport,
                  0,
                  {0x01, 65},
                  FrameResult::kTransport,
                  2,
                  {"KOVRIN> Receive() reading timeout (2+2+128+2) data part message (iRead=0)"}},
        ReplyCase{"report gate with a read function reads by byte count",
                  3,
                  kMemReport,
                  0,
                  {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B},
                  FrameResult::kDone,
                  7,
                  {}},
        ReplyCase{"function 65 on another gate reads by byte count",
                  65,
                  kMemHoldingRegisters,
                  0,
                  WithCrc({0x01, 65, 0x02, 0x00, 0x2A}),
                  FrameResult::kDone,
                  7,
                  {}},
        ReplyCase{"exception reply",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x83, 0x02, 0xC0, 0xF1},
                  FrameResult::kRefused,
                  5,
                  {"KOVRIN> (MB-protocol) Illegal data address"}},
        ReplyCase{"exception reply code 1",
                  3,
                  kMemHoldingRegisters,
                  0,
                  WithCrc({0x01, 0x83, 0x01}),
                  FrameResult::kDone,
                  5,
                  {"KOVRIN> (MB-protocol) Illegal function"}},
        ReplyCase{"exception reply to another function",
                  3,
                  kMemHoldingRegisters,
                  0,
                  WithCrc({0x01, 0x84, 0x02}),
                  FrameResult::kWrong,  // another request's exception: its rest is drained
                  2,
                  {"KOVRIN> Different function with 0x80 returned"}},
        ReplyCase{"exception reply during a write",
                  6,
                  kMemHoldingRegisters,
                  1,
                  WithCrc({0x01, 0x86, 0x04}),
                  FrameResult::kTransport,
                  5,
                  {"KOVRIN> (MB-protocol) Failure in associated device"}},
        ReplyCase{"short exception reply",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x83, 0x02},
                  FrameResult::kWrong,
                  2,
                  {"KOVRIN> Receive() wrong length 2nd part message iRead=1"}},
        ReplyCase{"exception code missing",
                  3,
                  kMemHoldingRegisters,
                  0,
                  {0x01, 0x83},
                  FrameResult::kTransport,
                  2,
                  {"KOVRIN> Receive() timeout 2nd part message (iRead=0)"}}));

// ---- exception codes ------------------------------------------------------------------

struct ExceptionClass {
  int code;
  const char* message;
  FrameResult result;
};

const ExceptionClass kExceptionClasses[] = {
    {1, "KOVRIN> (MB-protocol) Illegal function", FrameResult::kDone},
    {2, "KOVRIN> (MB-protocol) Illegal data address", FrameResult::kRefused},
    {3, "KOVRIN> (MB-protocol) Illegal data value", FrameResult::kRefused},
    {4, "KOVRIN> (MB-protocol) Failure in associated device", FrameResult::kTransport},
    {5, "KOVRIN> (MB-protocol) Acknowledge (processing)", FrameResult::kRefused},
    {6, "KOVRIN> (MB-protocol) Busy, rejected message", FrameResult::kDone},
    {7, "KOVRIN> (MB-protocol) Negative acknowledgment", FrameResult::kDone},
    {8, "KOVRIN> (MB-protocol) Memory parity error", FrameResult::kDone},
};
const ExceptionClass kOtherCodes = {-1, "KOVRIN> (MB-protocol error)", FrameResult::kDone};

TEST_F(FrameExchangeTest, EveryExceptionCodeHasItsMessageAndResult) {
  instance_.txBuffer[1] = 3;
  for (int code = 0; code <= 255; ++code) {
    ExceptionClass expected = kOtherCodes;
    for (const ExceptionClass& c : kExceptionClasses) {
      if (c.code == code) expected = c;
    }
    log_.Clear();
    Reply(WithCrc({0x01, 0x83, static_cast<uint8_t>(code)}));
    int length = -1;
    EXPECT_EQ(Receive(&length), expected.result) << "code " << code;
    EXPECT_EQ(length, 5) << "code " << code;
    EXPECT_EQ(log_.lines(), (std::vector<LogLine>{{kLogDetail, expected.message}})) << "code " << code;
    EXPECT_EQ(instance_.rxBuffer[2], code);
  }
}

// ---- timing -----------------------------------------------------------------------------

TEST_F(FrameExchangeTest, SilentDeviceReturnsAfterAboutTheReplyTimeout) {
  SetReadTimeoutIn10Ms(instance_.portHandle, 20);  // 200 ms
  const auto start = Clock::now();
  int length = -1;
  EXPECT_EQ(Receive(&length), FrameResult::kTransport);
  const int64_t elapsed = MsSince(start);
  EXPECT_GE(elapsed, 190);
  EXPECT_LT(elapsed, 700) << "waited well past the reply timeout";
}

TEST_F(FrameExchangeTest, InterFrameGapInMillisecondsTakesPrecedence) {
  const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  constexpr int kSends = 8;
  // Busy-wait gap alone: it really runs (costs processor time).
  instance_.IFG = 65535;
  instance_.IFG_MS = 0;
  double cpu = CpuMs();
  for (int i = 0; i < kSends; ++i) ASSERT_EQ(Send(request), SendResult::kSent);
  const double busyCpu = CpuMs() - cpu;
  device_.ReceiveExactly(8 * kSends);

  // Both set: only the sleep happens.
  instance_.IFG_MS = 15;
  const auto start = Clock::now();
  cpu = CpuMs();
  for (int i = 0; i < kSends; ++i) ASSERT_EQ(Send(request), SendResult::kSent);
  const double sleepCpu = CpuMs() - cpu;
  const int64_t elapsed = MsSince(start);
  device_.ReceiveExactly(8 * kSends);

  EXPECT_GT(busyCpu, 2.0) << "the busy-wait loop did not run";
  EXPECT_GE(elapsed, 15 * kSends - 5);
  EXPECT_LT(sleepCpu, busyCpu / 2) << "the busy wait ran although IFG_MS was set";
}

// ---- SendFrame: RTS switching and failures ----------------------------------------

struct SendCase {
  const char* what;
  uint8_t rtscts;
  int fault;  // a SerialCall to fail once, or -1
  int faultSkip;
  int shortTo;  // -1: whole write
  SendResult result;
  std::vector<std::string> messages;  // all at level 8
  int escapes;                        // EscapeCommFunction calls
};

void PrintTo(const SendCase& c, std::ostream* out) { *out << c.what; }

class SendTest : public FrameExchangeTest, public ::testing::WithParamInterface<SendCase> {};

const char kEscapeFailed[] = "KOVRIN> Send() EscapeCommFunction() failed";
const char kUnableToSend[] = "KOVRIN> SEND> Unable to send message.";

TEST_P(SendTest, ResultMessagesAndRtsSteps) {
  const SendCase& c = GetParam();
  instance_.RTSCTS = c.rtscts;
  if (c.fault >= 0) SerialFaultFail(static_cast<SerialCall>(c.fault), 1, c.faultSkip);
  if (c.shortTo >= 0) SerialFaultShortTransfer(SerialCall::kWriteFile, static_cast<uint32_t>(c.shortTo));
  const auto start = Clock::now();
  EXPECT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), c.result);
  const int64_t elapsed = MsSince(start);
  std::vector<LogLine> expected;
  for (const std::string& m : c.messages) expected.push_back({kLogDetail, m});
  EXPECT_EQ(log_.lines(), expected);
  EXPECT_EQ(g_lastError, c.result == SendResult::kSent ? 0 : kLastErrorSendFailed);
  EXPECT_EQ(SerialCallCount(SerialCall::kEscapeCommFunction), c.escapes);
  if (c.rtscts) {
    // The output-queue wait asks at least once (the send drains nothing).
    EXPECT_GE(SerialCallCount(SerialCall::kClearCommError), 1);
    if (c.fault != static_cast<int>(SerialCall::kClearCommError)) {
      EXPECT_GE(elapsed, 1) << "RTS stays up a millisecond after the queue empties";
    }
  }
  if (c.result == SendResult::kSent) {
    EXPECT_EQ(device_.ReceiveExactly(8), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sends, SendTest,
    ::testing::Values(SendCase{"plain", 0, -1, 0, -1, SendResult::kSent, {}, 0},
                      SendCase{"RTS switching on a line without RTS",
                               1,
                               -1,
                               0,
                               -1,
                               SendResult::kSent,
                               {kEscapeFailed, kEscapeFailed},
                               2},
                      SendCase{"output queue cannot be watched",
                               1,
                               static_cast<int>(SerialCall::kClearCommError),
                               0,
                               -1,
                               SendResult::kSent,
                               {kEscapeFailed, "KOVRIN> Send() ClearCommError() failed", kEscapeFailed},
                               2},
                      SendCase{"write fails",
                               0,
                               static_cast<int>(SerialCall::kWriteFile),
                               0,
                               -1,
                               SendResult::kNotSent,
                               {kUnableToSend},
                               0},
                      SendCase{"short write", 0, -1, 0, 5, SendResult::kNotSent, {kUnableToSend}, 0},
                      SendCase{"write fails with RTS switching",
                               1,
                               static_cast<int>(SerialCall::kWriteFile),
                               0,
                               -1,
                               SendResult::kNotSent,
                               {kEscapeFailed, kEscapeFailed, kUnableToSend},
                               2}));

TEST_F(FrameExchangeTest, SendWithoutAnOpenPortFailsInTransport) {
  const HANDLE open = instance_.portHandle;
  instance_.portHandle = nullptr;  // as in "started, port failed"
  EXPECT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), SendResult::kNotSent);
  EXPECT_EQ(g_lastError, kLastErrorSendFailed);
  EXPECT_TRUE(log_.Contains(kUnableToSend));
  int length = -1;
  EXPECT_EQ(Receive(&length), FrameResult::kTransport);
  instance_.portHandle = open;
}

}  // namespace
