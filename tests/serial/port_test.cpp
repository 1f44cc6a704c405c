// Serial port access: every result code, the line settings the port gets,
// the read timeout and the drain, on a real pseudo-terminal (faults the line
// cannot produce come from the platform seam).

#include <gtest/gtest.h>

#include <thread>

#include <atomic>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/serial_faults.h"
#include "serial/port.h"
#include "tests/support/pty_device.h"

using namespace kovrin;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kNoFault = -1;
constexpr int Fault(SerialCall call) { return static_cast<int>(call); }

PortSettings Line(uint16_t baud = 9600, int16_t dataBits = 8, int16_t stopBits = 0, int16_t parity = 0,
                  uint16_t lineFlags = kLineFlagsDefault) {
  PortSettings line{};
  line.baud = baud;
  line.dataBits = dataBits;
  line.stopBits = stopBits;
  line.parity = parity;
  line.lineFlags = lineFlags;
  return line;
}

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

DWORD ReadConstant(HANDLE port) {
  COMMTIMEOUTS t{};
  EXPECT_TRUE(GetCommTimeouts(port, &t));
  return t.ReadTotalTimeoutConstant;
}

DWORD InputQueue(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(port, &errors, &status) ? status.cbInQue : 0xFFFFFFFFu;
}

bool WaitForInput(HANDLE port, DWORD n) {
  for (int i = 0; i < 2000 && InputQueue(port) < n; ++i) Sleep(1);
  return InputQueue(port) == n;
}

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override { SerialFaultsReset(); }
  void TearDown() override {
    SerialFaultsReset();
    if (handle_ != nullptr) ClosePort(handle_);
  }
  // Opens COM1 and keeps the handle for TearDown.
  void OpenLine(const PortSettings& line = Line()) {
    ASSERT_EQ(OpenPort("COM1", line, &handle_), PortResult::kDone);
    SerialFaultsReset();
  }
  // True when nobody holds the device: an open of it succeeds.
  bool DeviceFree() {
    HANDLE probe = nullptr;
    if (OpenPort(device_.devicePath().c_str(), Line(), &probe) != PortResult::kDone) return false;
    ClosePort(probe);
    return true;
  }

  PtyDevice device_;
  HANDLE handle_ = nullptr;
};

// ---- OpenPort ---------------------------------------------------------------------

struct OpenCase {
  const char* what;
  const char* name;
  PortSettings line;
  int fault;  // a SerialCall to fail once, or kNoFault
  PortResult code;
  int closes;  // CloseHandle calls: a failed open closes what it opened
};

void PrintTo(const OpenCase& c, std::ostream* out) { *out << c.what; }

class OpenPortTest : public PortTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenPortTest, GivesItsCodeAndNeverLeavesThePortHeldOnFailure) {
  const OpenCase& c = GetParam();
  if (c.fault != kNoFault) SerialFaultFail(static_cast<SerialCall>(c.fault));
  const HANDLE untouched = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5A5A));
  HANDLE handle = untouched;
  const PortResult code = OpenPort(c.name, c.line, &handle);
  EXPECT_EQ(code, c.code);
  EXPECT_EQ(SerialCallCount(SerialCall::kCloseHandle), c.closes);
  if (code == PortResult::kDone) {
    handle_ = handle;
    EXPECT_FALSE(DeviceFree());
  } else {
    EXPECT_EQ(handle, untouched);
    EXPECT_TRUE(DeviceFree());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, OpenPortTest,
    ::testing::Values(
        OpenCase{"pseudo-terminal", "COM1", Line(), kNoFault, PortResult::kDone, 0},
        OpenCase{"lower-case name", "com1", Line(), kNoFault, PortResult::kDone, 0},
        OpenCase{"SetupComm fails, ignored", "COM1", Line(), Fault(SerialCall::kSetupComm), PortResult::kDone,
                 0},
        OpenCase{"missing device", "COM7", Line(), kNoFault, PortResult::kOpenFailed, 0},
        OpenCase{"no such name", "LPT1", Line(), kNoFault, PortResult::kOpenFailed, 0},
        OpenCase{"CreateFileA fails", "COM1", Line(), Fault(SerialCall::kCreateFile), PortResult::kOpenFailed,
                 0},
        OpenCase{"GetCommState fails", "COM1", Line(), Fault(SerialCall::kGetCommState),
                 PortResult::kStateFailed, 1},
        OpenCase{"the null device spelt otherwise has no port state", "nul", Line(), kNoFault,
                 PortResult::kStateFailed, 1},
        OpenCase{"SetCommTimeouts fails", "COM1", Line(), Fault(SerialCall::kSetCommTimeouts),
                 PortResult::kOpenFailed, 1},
        OpenCase{"SetCommState fails", "COM1", Line(), Fault(SerialCall::kSetCommState),
                 PortResult::kSettingsRefused, 1},
        OpenCase{"baud rate 0", "COM1", Line(0), kNoFault, PortResult::kSettingsRefused, 1},
        OpenCase{"1.5 stop bits", "COM1", Line(9600, 8, 1), kNoFault, PortResult::kSettingsRefused, 1},
        OpenCase{"9 data bits", "COM1", Line(9600, 9), kNoFault, PortResult::kSettingsRefused, 1},
        OpenCase{"parity 5", "COM1", Line(9600, 8, 0, 5), kNoFault, PortResult::kSettingsRefused, 1}));

TEST_F(PortTest, SecondOpenOfAnOpenPortGivesOne) {
  OpenLine();
  HANDLE second = nullptr;
  EXPECT_EQ(OpenPort("COM1", Line(), &second), PortResult::kOpenFailed);
  EXPECT_EQ(second, nullptr);
}

TEST_F(PortTest, NullDeviceTakesNoStateTimeoutLineOrQueueCall) {
  HANDLE null = nullptr;
  ASSERT_EQ(OpenPort("NUL", Line(14400, 9, 1, 7), &null), PortResult::kDone);
  handle_ = null;
  for (SerialCall call :
       {SerialCall::kGetCommState, SerialCall::kSetCommState, SerialCall::kGetCommTimeouts,
        SerialCall::kSetCommTimeouts, SerialCall::kSetupComm, SerialCall::kClearCommError}) {
    EXPECT_EQ(SerialCallCount(call), 0) << static_cast<int>(call);
  }
  uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  DWORD count = 99;
  EXPECT_EQ(WriteBytes(null, bytes, 8, &count), PortResult::kDone);
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(ReadBytes(null, bytes, 8, &count), PortResult::kIoFailed);
  EXPECT_EQ(count, 0u);
}

struct LineParamCase {
  uint16_t baud;
  int16_t dataBits;
  int16_t stopBits;
  int16_t parity;
};

void PrintTo(const LineParamCase& c, std::ostream* out) {
  *out << c.baud << " " << c.dataBits << "/" << c.parity << "/" << c.stopBits;
}

class OpenLineTest : public PortTest, public ::testing::WithParamInterface<LineParamCase> {};

TEST_P(OpenLineTest, PortRunsWithTheLineParametersAndOpenDefaults) {
  const LineParamCase& c = GetParam();
  // Only the low byte of the 16-bit fields counts.
  OpenLine(Line(c.baud, static_cast<int16_t>(0x0100 | c.dataBits), static_cast<int16_t>(0x0200 | c.stopBits),
                static_cast<int16_t>(0x0300 | c.parity)));
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  EXPECT_EQ(dcb.BaudRate, c.baud);
  EXPECT_EQ(dcb.ByteSize, c.dataBits);
  EXPECT_EQ(dcb.Parity, c.parity);
  EXPECT_EQ(dcb.StopBits, c.stopBits);
  EXPECT_EQ(dcb.fParity, 1u) << "parity checking is on whatever the parity";
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  EXPECT_EQ(dcb.fDtrControl, DWORD{DTR_CONTROL_ENABLE});
  EXPECT_EQ(dcb.fRtsControl, DWORD{RTS_CONTROL_ENABLE});
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(handle_, &view));
  EXPECT_EQ(view.baud, c.baud);
  EXPECT_TRUE(view.inputParityCheck);
  EXPECT_FALSE(view.rtsCtsFlow);
  EXPECT_EQ(view.twoStopBits, c.stopBits != ONESTOPBIT) << "1.5 stop bits at 5 bits are the UART's second";
  EXPECT_TRUE(view.raw);
  EXPECT_TRUE(view.exclusive);

  COMMTIMEOUTS t{};
  ASSERT_TRUE(GetCommTimeouts(handle_, &t));
  EXPECT_EQ(t.ReadIntervalTimeout, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, CharacterTimeMs(c.baud)) << "each byte's wire time";
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
}

INSTANTIATE_TEST_SUITE_P(Lines, OpenLineTest,
                         ::testing::Values(LineParamCase{9600, 8, 0, 0}, LineParamCase{19200, 7, 2, 2},
                                           LineParamCase{1200, 8, 0, 1}, LineParamCase{57600, 5, 1, 3},
                                           LineParamCase{4800, 6, 0, 4}));

struct LineFlagsCase {
  uint16_t lineFlags;
  DWORD dtr;
  DWORD rts;
};

void PrintTo(const LineFlagsCase& c, std::ostream* out) { *out << "lineFlags 0x" << std::hex << c.lineFlags; }

class LineFlagsTest : public PortTest, public ::testing::WithParamInterface<LineFlagsCase> {};

TEST_P(LineFlagsTest, FirstMatchingRowChoosesTheControl) {
  const LineFlagsCase& c = GetParam();
  EXPECT_EQ(DtrControlFor(c.lineFlags), c.dtr);
  EXPECT_EQ(RtsControlFor(c.lineFlags), c.rts);
  OpenLine(Line(9600, 8, 0, 0, c.lineFlags));
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  EXPECT_EQ(dcb.fDtrControl, c.dtr);
  EXPECT_EQ(dcb.fRtsControl, c.rts);
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(handle_, &view));
  EXPECT_EQ(view.rtsCtsFlow, c.rts == RTS_CONTROL_HANDSHAKE);
}

INSTANTIATE_TEST_SUITE_P(Flags, LineFlagsTest,
                         ::testing::Values(LineFlagsCase{0x0303, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
                                           LineFlagsCase{0x0000, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE},
                                           LineFlagsCase{0x0001, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
                                           LineFlagsCase{0x0100, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
                                           LineFlagsCase{0x8000, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_DISABLE},
                                           LineFlagsCase{0x8100, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
                                           LineFlagsCase{0x0002, DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE},
                                           LineFlagsCase{0x0200, DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE},
                                           LineFlagsCase{0x1000, DTR_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE},
                                           LineFlagsCase{0x2000, DTR_CONTROL_DISABLE, RTS_CONTROL_TOGGLE},
                                           LineFlagsCase{0x3000, DTR_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE},
                                           LineFlagsCase{0x3202, DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE},
                                           LineFlagsCase{0xFFFF, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE}));

// ---- ClosePort ---------------------------------------------------------------------

TEST_F(PortTest, ClosePortCodes) {
  OpenLine();
  SerialFaultFail(SerialCall::kCloseHandle);
  EXPECT_EQ(ClosePort(handle_), PortResult::kIoFailed);
  EXPECT_FALSE(DeviceFree()) << "a failed close keeps the port";
  EXPECT_EQ(ClosePort(handle_), PortResult::kDone);
  EXPECT_TRUE(DeviceFree());
  EXPECT_EQ(ClosePort(handle_), PortResult::kIoFailed) << "closing a closed handle";
  handle_ = nullptr;
}

// ---- SetReadTimeoutIn10Ms ------------------------------------------------------------------

struct TimeoutCase {
  const char* what;
  DWORD constantBefore;
  uint32_t timeout;
  int fault;
  uint32_t result;
  DWORD constantAfter;
  int writes;  // SetCommTimeouts calls
};

void PrintTo(const TimeoutCase& c, std::ostream* out) { *out << c.what; }

class ReadTimeoutTest : public PortTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(ReadTimeoutTest, GivesThePreviousTimeoutInTensOfMilliseconds) {
  const TimeoutCase& c = GetParam();
  OpenLine();
  COMMTIMEOUTS t{0, 0, c.constantBefore, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(handle_, &t));
  SerialFaultsReset();
  if (c.fault != kNoFault) SerialFaultFail(static_cast<SerialCall>(c.fault));
  EXPECT_EQ(SetReadTimeoutIn10Ms(handle_, c.timeout), c.result);
  EXPECT_EQ(SerialCallCount(SerialCall::kSetCommTimeouts), c.writes);
  SerialFaultsReset();
  COMMTIMEOUTS after{};
  ASSERT_TRUE(GetCommTimeouts(handle_, &after));
  EXPECT_EQ(after.ReadTotalTimeoutConstant, c.constantAfter);
  EXPECT_EQ(after.ReadIntervalTimeout, 0u);
  EXPECT_EQ(after.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(after.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(after.WriteTotalTimeoutConstant, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadTimeoutTest,
    ::testing::Values(TimeoutCase{"same value writes nothing", 1000, 100, kNoFault, 100, 1000, 0},
                      TimeoutCase{"new value", 1000, 20, kNoFault, 100, 200, 1},
                      TimeoutCase{"previous truncated", 1005, 100, kNoFault, 100, 1000, 1},
                      TimeoutCase{"previous below 10 ms", 5, 30, kNoFault, 0, 300, 1},
                      TimeoutCase{"zero is the open timeout, never none", 200, 0, kNoFault, 20, 1000, 1},
                      TimeoutCase{"a product wrapping to zero is not none", 200, 0x80000000u, kNoFault, 20,
                                  0xFFFFFFFEu, 1},
                      TimeoutCase{"reading fails", 200, 30, Fault(SerialCall::kGetCommTimeouts), 0, 200, 0},
                      TimeoutCase{"writing fails", 200, 30, Fault(SerialCall::kSetCommTimeouts), 0, 200, 1}));

// ---- DrainInput ---------------------------------------------------------------------

TEST_F(PortTest, DrainOfAnEmptyQueueReadsNothingAndKeepsTheTimeout) {
  OpenLine();
  SetReadTimeoutIn10Ms(handle_, 20);
  SerialFaultsReset();
  const auto start = Clock::now();
  DrainInput(handle_);
  // The call counts show it reads nothing; the bound only catches a wait
  // for input, far above the cost of a queue call on a busy machine.
  EXPECT_LT(MsSince(start), 5000) << "the drain waited for input";
  EXPECT_EQ(SerialCallCount(SerialCall::kReadFile), 0);
  EXPECT_EQ(SerialCallCount(SerialCall::kSetCommTimeouts), 0);
  EXPECT_EQ(ReadConstant(handle_), 200u);
}

TEST_F(PortTest, DrainOf700BytesReadsTwiceAndRestoresTheTimeout) {
  OpenLine();
  SetReadTimeoutIn10Ms(handle_, 20);
  device_.Send(Bytes(700, 0xEE));
  ASSERT_TRUE(WaitForInput(handle_, 700));
  SerialFaultsReset();
  const auto start = Clock::now();
  DrainInput(handle_);
  const int64_t elapsed = MsSince(start);
  EXPECT_EQ(SerialCallCount(SerialCall::kReadFile), 3) << "512 bytes, 188, then 50 ms of silence";
  EXPECT_EQ(InputQueue(handle_), 0u);
  EXPECT_EQ(ReadConstant(handle_), 200u);
  EXPECT_GE(elapsed, 90) << "the last two reads wait for more";
  EXPECT_LT(elapsed, 190 + 100) << "the drain waited with the reply timeout, not its own";
}

TEST_F(PortTest, DrainRestoresATimeoutBelowTenMilliseconds) {
  OpenLine();
  COMMTIMEOUTS t{0, 0, 5, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(handle_, &t));
  device_.Send({1, 2, 3});
  ASSERT_TRUE(WaitForInput(handle_, 3));
  DrainInput(handle_);
  EXPECT_EQ(InputQueue(handle_), 0u);
  EXPECT_EQ(ReadConstant(handle_), 5u);
}

// A reply still on the wire when the drain finds its first bytes is read to
// its end: the drain goes on until the line has been silent for the
// silence it is given, within its bound.
TEST_F(PortTest, DrainReadsATailThatIsStillArriving) {
  struct Case {
    const char* what;
    int bytes;
    int everyMs;
    DWORD silenceMs;
    DWORD boundMs;
    bool drainedWhole;
  };
  const Case cases[] = {
      {"a byte every 10 ms, 30 ms of silence", 25, 10, 30, 1000, true},
      {"a byte every 10 ms, bounded at 100 ms", 40, 10, 30, 100, false},
  };
  for (const Case& c : cases) {
    OpenLine();
    std::atomic<int> sent{0};
    std::thread tail([&] {
      for (int i = 0; i < c.bytes; ++i) {
        device_.Send({static_cast<uint8_t>(i)});
        sent = i + 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(c.everyMs));
      }
    });
    ASSERT_TRUE(WaitForInput(handle_, 1)) << c.what;
    DrainInput(handle_, c.silenceMs, c.boundMs);
    const int sentWhenDone = sent;
    tail.join();
    if (c.drainedWhole) {
      EXPECT_EQ(sentWhenDone, c.bytes) << c.what << ": the drain stopped inside the tail";
      EXPECT_EQ(InputQueue(handle_), 0u) << c.what;
    } else {
      EXPECT_LT(sentWhenDone, c.bytes) << c.what << ": the drain outlasted its bound";
    }
    ClosePort(handle_);
    handle_ = nullptr;
  }
}

TEST_F(PortTest, DrainRunsWhenTheQueueCannotBeAskedAndEndsOnAFailedRead) {
  OpenLine();
  SetReadTimeoutIn10Ms(handle_, 20);
  device_.Send(Bytes(600, 1));
  ASSERT_TRUE(WaitForInput(handle_, 600));
  SerialFaultsReset();
  SerialFaultFail(SerialCall::kClearCommError);
  DrainInput(handle_);
  EXPECT_EQ(SerialCallCount(SerialCall::kReadFile), 3);
  EXPECT_EQ(InputQueue(handle_), 0u);
  EXPECT_EQ(ReadConstant(handle_), 200u);

  device_.Send(Bytes(600, 2));
  ASSERT_TRUE(WaitForInput(handle_, 600));
  SerialFaultsReset();
  SerialFaultFail(SerialCall::kReadFile);
  DrainInput(handle_);
  EXPECT_EQ(SerialCallCount(SerialCall::kReadFile), 1);
  EXPECT_EQ(InputQueue(handle_), 600u);
  EXPECT_EQ(ReadConstant(handle_), 200u);
}

// ---- WriteBytes and ReadBytes -----------------------------------------------------

struct WriteCase {
  const char* what;
  int fault;
  int shortTo;  // -1: the whole transfer
  PortResult code;
  DWORD written;  // 0xABCD: not set
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.what; }

class WriteBytesTest : public PortTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteBytesTest, GivesItsCode) {
  const WriteCase& c = GetParam();
  OpenLine();
  if (c.fault != kNoFault) SerialFaultFail(static_cast<SerialCall>(c.fault));
  if (c.shortTo >= 0) SerialFaultShortTransfer(SerialCall::kWriteFile, static_cast<uint32_t>(c.shortTo));
  const Bytes frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  DWORD written = 0xABCD;
  EXPECT_EQ(WriteBytes(handle_, frame.data(), 8, &written), c.code);
  EXPECT_EQ(written, c.written);
  const size_t arrived = c.code == PortResult::kIoFailed ? 0 : written;
  EXPECT_EQ(device_.Received(100), Bytes(frame.begin(), frame.begin() + arrived));
}

INSTANTIATE_TEST_SUITE_P(Writes, WriteBytesTest,
                         ::testing::Values(WriteCase{"whole", kNoFault, -1, PortResult::kDone, 8},
                                           WriteCase{"short", kNoFault, 3, PortResult::kShortWrite, 3},
                                           WriteCase{"nothing taken", kNoFault, 0, PortResult::kShortWrite,
                                                     0},
                                           WriteCase{"call fails", Fault(SerialCall::kWriteFile), -1,
                                                     PortResult::kIoFailed, 0xABCD}));

TEST_F(PortTest, WriteBytesWithoutCountAndOnAHungUpLine) {
  OpenLine();
  const uint8_t bytes[2] = {7, 8};
  EXPECT_EQ(WriteBytes(handle_, bytes, 2, nullptr), PortResult::kDone);
  EXPECT_EQ(device_.ReceiveExactly(2), (Bytes{7, 8}));
  device_.HangUp();
  DWORD written = 0xABCD;
  EXPECT_EQ(WriteBytes(handle_, bytes, 2, &written), PortResult::kIoFailed);
}

struct ReadCase {
  const char* what;
  size_t sent;
  int fault;
  PortResult code;
  DWORD received;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.what; }

class ReadBytesTest : public PortTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadBytesTest, GivesItsCodeAndTheCount) {
  const ReadCase& c = GetParam();
  OpenLine();
  SetReadTimeoutIn10Ms(handle_, 5);
  const Bytes all{10, 11, 12, 13, 14, 15, 16, 17};
  if (c.sent > 0) {
    device_.Send(Bytes(all.begin(), all.begin() + c.sent));
    ASSERT_TRUE(WaitForInput(handle_, static_cast<DWORD>(c.sent)));
  }
  if (c.fault != kNoFault) SerialFaultFail(static_cast<SerialCall>(c.fault));
  uint8_t buffer[6] = {};
  DWORD received = 0xABCD;
  EXPECT_EQ(ReadBytes(handle_, buffer, 6, &received), c.code);
  EXPECT_EQ(received, c.received);
  EXPECT_EQ(Bytes(buffer, buffer + received), Bytes(all.begin(), all.begin() + received));
}

INSTANTIATE_TEST_SUITE_P(Reads, ReadBytesTest,
                         ::testing::Values(ReadCase{"all six", 6, kNoFault, PortResult::kDone, 6},
                                           ReadCase{"more than six", 8, kNoFault, PortResult::kDone, 6},
                                           ReadCase{"three of six", 3, kNoFault, PortResult::kDone, 3},
                                           ReadCase{"none", 0, kNoFault, PortResult::kIoFailed, 0},
                                           ReadCase{"call fails", 6, Fault(SerialCall::kReadFile),
                                                    PortResult::kIoFailed, 0}));

}  // namespace

namespace {

// 3.5 characters of 11 bits, rounded up to whole milliseconds; a fixed
// 1.75 ms (2) above 19200 baud, and for an unknown rate.
TEST(FrameSilence, ThreeAndAHalfCharactersAtTheLineRate) {
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 2},    {115200, 2}, {38400, 2}, {19200, 3},
                                                 {9600, 5}, {4800, 9},   {1200, 33}, {300, 129}};
  for (const auto& [baud, ms] : cases) EXPECT_EQ(FrameSilenceMs(baud), ms) << baud << " baud";
}

// 11 bits a character, rounded up to whole milliseconds.
TEST(CharacterTime, ElevenBitsAtTheLineRate) {
  const std::pair<uint32_t, DWORD> cases[] = {{0, 0},    {115200, 1}, {19200, 1},
                                              {9600, 2}, {1200, 10},  {300, 37}};
  for (const auto& [baud, ms] : cases) EXPECT_EQ(CharacterTimeMs(baud), ms) << baud << " baud";
}

}  // namespace
