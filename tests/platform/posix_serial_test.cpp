// The Win32 serial subset over POSIX, each call on a real pseudo-terminal
// whose far end the test plays.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ostream>
#include <cstdlib>
#include <ctime>
#include <string>
#include <algorithm>
#include <thread>
#include <vector>

#include "tests/platform/uart_double.h"
#include "tests/support/serial_faults.h"
#include "platform/win32.h"
#include "tests/support/pty_device.h"
#include "tests/support/signal_storm.h"

using namespace kovrin;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

HANDLE Open(const std::string& name, DWORD shareMode = 0) {
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Closes the handle at the end of the scope unless the test did.
class OpenPort {
 public:
  explicit OpenPort(const std::string& name, DWORD shareMode = 0) : handle_(Open(name, shareMode)) {}
  ~OpenPort() { Close(); }
  OpenPort(const OpenPort&) = delete;
  OpenPort& operator=(const OpenPort&) = delete;
  HANDLE get() const { return handle_; }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  BOOL Close() {
    if (!ok()) return FALSE;
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double CpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Waits until the driver's side holds n input bytes; false after 2 s.
bool WaitForInput(HANDLE port, DWORD n) {
  for (int i = 0; i < 2000; ++i) {
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &errors, &status) && status.cbInQue >= n) return status.cbInQue == n;
    Sleep(1);
  }
  return false;
}

bool SetTimeouts(HANDLE port, DWORD interval, DWORD multiplier, DWORD constant) {
  COMMTIMEOUTS t{interval, multiplier, constant, 0, 0};
  return SetCommTimeouts(port, &t) == TRUE;
}

class PosixSerialTest : public ::testing::Test {
 protected:
  void SetUp() override { SerialFaultsReset(); }
  void TearDown() override { SerialFaultsReset(); }
  PtyDevice device_;
};

// ---- names and opening ------------------------------------------------------

struct OpenCase {
  const char* name;  // "@" stands for the pseudo-terminal's own path
  bool opens;
  bool terminal;
};

void PrintTo(const OpenCase& c, std::ostream* out) { *out << '"' << c.name << '"'; }

class OpenByNameTest : public PosixSerialTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenByNameTest, ReachesTheMappedDevice) {
  const OpenCase& c = GetParam();
  const std::string name = std::string(c.name) == "@" ? device_.devicePath() : c.name;
  OpenPort port(name);
  ASSERT_EQ(port.ok(), c.opens) << name;
  if (!c.opens) return;
  SerialDeviceView view{};
  EXPECT_EQ(SerialViewDevice(port.get(), &view), c.terminal);
  if (c.terminal) {
    // The handle really is the far end of the test's line.
    const Bytes frame{0x11, 0x22, 0x33};
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port.get(), frame.data(), 3, &written, nullptr));
    EXPECT_EQ(device_.ReceiveExactly(3), frame);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, OpenByNameTest,
                         ::testing::Values(OpenCase{"COM1", true, true}, OpenCase{"com1", true, true},
                                           OpenCase{"@", true, true}, OpenCase{"NUL", true, false},
                                           OpenCase{"nul", true, false},
                                           OpenCase{"COM7", false, false},  // no com7 link
                                           OpenCase{"LPT1", false, false},
                                           OpenCase{"/nonexistent/tty", false, false}));

TEST_F(PosixSerialTest, OpenPutsTheLineInRawMode) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(port.get(), &view));
  EXPECT_TRUE(view.raw);
  EXPECT_EQ(view.byteSize, 8);
  EXPECT_FALSE(view.parityEnable);
}

// ---- exclusive open ---------------------------------------------------------

TEST_F(PosixSerialTest, SecondOpenInThisProcessFailsUntilTheFirstIsClosed) {
  OpenPort first("COM1");
  ASSERT_TRUE(first.ok());
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(first.get(), &view));
  EXPECT_TRUE(view.exclusive);
  // Every name of the same device is refused, not only the one used.
  for (const std::string& name : {std::string("COM1"), std::string("com1"), device_.devicePath()}) {
    OpenPort second(name);
    EXPECT_FALSE(second.ok()) << name;
  }
  ASSERT_TRUE(first.Close());
  OpenPort again("COM1");
  EXPECT_TRUE(again.ok());
}

TEST_F(PosixSerialTest, OpenFromAnotherProcessFailsWhileHeld) {
  const std::string probe = std::string(KOVRIN_OPEN_PROBE) + " " + device_.devicePath();
  ASSERT_EQ(std::system(probe.c_str()), 0) << "a free device opens";
  OpenPort first("COM1");
  ASSERT_TRUE(first.ok());
  EXPECT_NE(std::system(probe.c_str()), 0) << "held device opened by another process";
  ASSERT_TRUE(first.Close());
  EXPECT_EQ(std::system(probe.c_str()), 0);
}

TEST_F(PosixSerialTest, CooperatingLockersOfOtherProgramsAreKeptOut) {
  if (std::system("command -v flock >/dev/null 2>&1") != 0) GTEST_SKIP() << "no flock(1)";
  const std::string locker = "flock -n " + device_.devicePath() + " true 2>/dev/null";
  OpenPort first("COM1");
  ASSERT_TRUE(first.ok());
  EXPECT_NE(std::system(locker.c_str()), 0);
  ASSERT_TRUE(first.Close());
  EXPECT_EQ(std::system(locker.c_str()), 0);
}

// What the layer asks of the device for exclusive use, seen through the
// device hook: an exclusive open of a terminal asks TIOCEXCL, its close lets
// go with TIOCNXCL unless the device is gone, and the view's flag is the
// device's answer to TIOCGEXCL. A device that refuses TIOCEXCL is still
// opened, and the lock keeps a second open out all the same.
struct ExclusiveCase {
  const char* what;
  const char* name;  // "@" stands for the pseudo-terminal's own path
  DWORD shareMode;
  int exclusiveError;          // errno the device answers TIOCEXCL with, 0: taken
  bool answersExclusiveQuery;  // TIOCGEXCL
  bool hangUp;                 // the device goes away before the close
  const char* openAsks;
  bool viewed;
  bool exclusive;  // what the view reports
  const char* viewAsks;
  bool secondOpens;  // an exclusive open of the same device meanwhile
  const char* closeAsks;
};

void PrintTo(const ExclusiveCase& c, std::ostream* out) { *out << c.what; }

class ExclusiveUseTest : public PosixSerialTest, public ::testing::WithParamInterface<ExclusiveCase> {};

TEST_P(ExclusiveUseTest, AsksTheDeviceForExclusiveUse) {
  const ExclusiveCase& c = GetParam();
  const std::vector<std::string> exclusiveRequests{"TIOCEXCL", "TIOCNXCL", "TIOCGEXCL"};
  UartScript script;
  script.exclusiveError = c.exclusiveError;
  script.answersExclusiveQuery = c.answersExclusiveQuery;
  UartDouble uart(script);
  const std::string name = std::string(c.name) == "@" ? device_.devicePath() : c.name;
  OpenPort port(name, c.shareMode);
  ASSERT_TRUE(port.ok()) << c.what;
  EXPECT_EQ(uart.TraceOf(exclusiveRequests), c.openAsks) << c.what;

  uart.Clear();
  SerialDeviceView view{};
  ASSERT_EQ(SerialViewDevice(port.get(), &view), c.viewed) << c.what;
  if (c.viewed) {
    EXPECT_EQ(view.exclusive, c.exclusive) << c.what;
  }
  EXPECT_EQ(uart.TraceOf(exclusiveRequests), c.viewAsks) << c.what;
  {
    OpenPort second(name);
    EXPECT_EQ(second.ok(), c.secondOpens) << c.what;
  }

  if (c.hangUp) {
    ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 100));
    device_.HangUp();
    uint8_t buffer[4];
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(port.get(), buffer, sizeof buffer, &got, nullptr)) << c.what;
  }
  uart.Clear();
  EXPECT_TRUE(port.Close()) << c.what;
  EXPECT_EQ(uart.TraceOf(exclusiveRequests), c.closeAsks) << c.what;
}

// Not a share mode of the driver's own (it always opens for exclusive use).
constexpr DWORD kShareReadWrite = 0x1 | 0x2;  // FILE_SHARE_READ | FILE_SHARE_WRITE

INSTANTIATE_TEST_SUITE_P(
    Opens, ExclusiveUseTest,
    ::testing::Values(ExclusiveCase{"exclusive open", "COM1", 0, 0, true, false, "TIOCEXCL", true, true,
                                    "TIOCGEXCL", false, "TIOCNXCL"},
                      ExclusiveCase{"by the device's own path", "@", 0, 0, true, false, "TIOCEXCL", true,
                                    true, "TIOCGEXCL", false, "TIOCNXCL"},
                      ExclusiveCase{"TIOCEXCL refused", "COM1", 0, EPERM, true, false, "TIOCEXCL", true,
                                    false, "TIOCGEXCL", false, "TIOCNXCL"},
                      ExclusiveCase{"no TIOCGEXCL in the kernel", "COM1", 0, 0, false, false, "TIOCEXCL",
                                    true, false, "TIOCGEXCL", false, "TIOCNXCL"},
                      ExclusiveCase{"shared open", "COM1", kShareReadWrite, 0, true, false, "", true, false,
                                    "TIOCGEXCL", true, "TIOCNXCL"},
                      ExclusiveCase{"device gone before the close", "COM1", 0, 0, true, true, "TIOCEXCL",
                                    true, true, "TIOCGEXCL", false, ""},
                      ExclusiveCase{"null device", "NUL", 0, 0, true, false, "", false, false, "", true,
                                    ""}));

TEST_F(PosixSerialTest, NullDeviceIsShared) {
  OpenPort first("NUL");
  OpenPort second("NUL");
  EXPECT_TRUE(first.ok());
  EXPECT_TRUE(second.ok());
}

// ---- line settings ----------------------------------------------------------

struct LineCase {
  DWORD baud;
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
  bool fParity;
  // What the device holds (a pseudo-terminal keeps these bits of the parity).
  bool parityOdd;
  bool markSpace;
};

void PrintTo(const LineCase& c, std::ostream* out) {
  *out << c.baud << " baud, " << int(c.byteSize) << " bits, parity " << int(c.parity) << ", stop "
       << int(c.stopBits) << (c.fParity ? ", checked" : "");
}

class LineSettingsTest : public PosixSerialTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettingsTest, RoundTripsAndReachesTheDevice) {
  const LineCase& c = GetParam();
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port.get(), &dcb));
  dcb.BaudRate = c.baud;
  dcb.ByteSize = c.byteSize;
  dcb.Parity = c.parity;
  dcb.StopBits = c.stopBits;
  dcb.fParity = c.fParity;
  ASSERT_TRUE(SetCommState(port.get(), &dcb));

  DCB back{};
  ASSERT_TRUE(GetCommState(port.get(), &back));
  EXPECT_EQ(back.DCBlength, sizeof(DCB));
  EXPECT_EQ(back.BaudRate, c.baud);
  EXPECT_EQ(back.ByteSize, c.byteSize);
  EXPECT_EQ(back.Parity, c.parity);
  EXPECT_EQ(back.StopBits, c.stopBits);
  EXPECT_EQ(back.fParity, c.fParity ? 1u : 0u);

  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(port.get(), &view));
  EXPECT_EQ(view.baud, c.baud);
  EXPECT_EQ(view.parityOdd, c.parityOdd);
  EXPECT_EQ(view.markSpace, c.markSpace);
  EXPECT_EQ(view.twoStopBits, c.stopBits != ONESTOPBIT);
  EXPECT_EQ(view.inputParityCheck, c.fParity);
  EXPECT_TRUE(view.raw);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineSettingsTest,
                         ::testing::Values(LineCase{110, 8, NOPARITY, ONESTOPBIT, true, false, false},
                                           LineCase{300, 7, ODDPARITY, ONESTOPBIT, true, true, false},
                                           LineCase{1200, 6, EVENPARITY, TWOSTOPBITS, false, false, false},
                                           LineCase{2400, 5, MARKPARITY, ONESTOPBIT, true, true, true},
                                           LineCase{4800, 8, SPACEPARITY, TWOSTOPBITS, true, false, true},
                                           LineCase{9600, 8, EVENPARITY, ONESTOPBIT, false, false, false},
                                           LineCase{19200, 7, MARKPARITY, TWOSTOPBITS, false, true, true},
                                           LineCase{38400, 8, NOPARITY, TWOSTOPBITS, true, false, false},
                                           LineCase{57600, 5, SPACEPARITY, ONESTOPBIT, false, false, true},
                                           LineCase{2400, 5, NOPARITY, ONE5STOPBITS, false, false, false}));

struct RefusedCase {
  const char* what;
  DWORD baud;
  BYTE byteSize;
  BYTE parity;
  BYTE stopBits;
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.what; }

class RefusedLineTest : public PosixSerialTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedLineTest, FailsAndLeavesTheLineAsItWas) {
  const RefusedCase& c = GetParam();
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  DCB before{};
  ASSERT_TRUE(GetCommState(port.get(), &before));
  before.BaudRate = 9600;
  before.Parity = EVENPARITY;
  ASSERT_TRUE(SetCommState(port.get(), &before));

  DCB dcb = before;
  dcb.BaudRate = c.baud;
  dcb.ByteSize = c.byteSize;
  dcb.Parity = c.parity;
  dcb.StopBits = c.stopBits;
  EXPECT_FALSE(SetCommState(port.get(), &dcb)) << c.what;

  DCB after{};
  ASSERT_TRUE(GetCommState(port.get(), &after));
  EXPECT_EQ(after.BaudRate, 9600u);
  EXPECT_EQ(after.ByteSize, 8);
  EXPECT_EQ(after.Parity, EVENPARITY);
  EXPECT_EQ(after.StopBits, ONESTOPBIT);
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedLineTest,
                         ::testing::Values(RefusedCase{"1.5 stop bits", 9600, 8, NOPARITY, ONE5STOPBITS},
                                           RefusedCase{"2 stop bits with 5 data bits", 9600, 5, NOPARITY,
                                                       TWOSTOPBITS},
                                           RefusedCase{"stop bits 3", 9600, 8, NOPARITY, 3},
                                           RefusedCase{"4 data bits", 9600, 4, NOPARITY, ONESTOPBIT},
                                           RefusedCase{"9 data bits", 9600, 9, NOPARITY, ONESTOPBIT},
                                           RefusedCase{"parity 5", 9600, 8, 5, ONESTOPBIT},
                                           RefusedCase{"baud 0", 0, 8, NOPARITY, ONESTOPBIT}));

TEST_F(PosixSerialTest, ModemLineControlsDoNotFailOnALineWithoutModemLines) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  for (DWORD dtr : {DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE}) {
    for (DWORD rts : {RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE}) {
      DCB dcb{};
      ASSERT_TRUE(GetCommState(port.get(), &dcb));
      dcb.fDtrControl = dtr;
      dcb.fRtsControl = rts;
      dcb.fOutxCtsFlow = 0;
      EXPECT_TRUE(SetCommState(port.get(), &dcb)) << "dtr " << dtr << " rts " << rts;
      DCB back{};
      ASSERT_TRUE(GetCommState(port.get(), &back));
      EXPECT_EQ(back.fDtrControl, dtr);
      EXPECT_EQ(back.fRtsControl, rts);
      SerialDeviceView view{};
      ASSERT_TRUE(SerialViewDevice(port.get(), &view));
      EXPECT_EQ(view.rtsCtsFlow, rts == RTS_CONTROL_HANDSHAKE) << "rts " << rts;
    }
  }
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port.get(), &dcb));
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = 1;
  ASSERT_TRUE(SetCommState(port.get(), &dcb));
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(port.get(), &view));
  EXPECT_TRUE(view.rtsCtsFlow);
}

// ---- timeouts and reads ---------------------------------------------------------

TEST_F(PosixSerialTest, TimeoutsAreKeptPerHandle) {
  OpenPort line("COM1");
  OpenPort null("NUL");
  ASSERT_TRUE(line.ok() && null.ok());
  COMMTIMEOUTS a{1, 2, 3, 4, 5};
  COMMTIMEOUTS b{10, 20, 30, 40, 50};
  ASSERT_TRUE(SetCommTimeouts(line.get(), &a));
  ASSERT_TRUE(SetCommTimeouts(null.get(), &b));
  COMMTIMEOUTS got{};
  ASSERT_TRUE(GetCommTimeouts(line.get(), &got));
  EXPECT_EQ(got.ReadIntervalTimeout, 1u);
  EXPECT_EQ(got.ReadTotalTimeoutMultiplier, 2u);
  EXPECT_EQ(got.ReadTotalTimeoutConstant, 3u);
  EXPECT_EQ(got.WriteTotalTimeoutMultiplier, 4u);
  EXPECT_EQ(got.WriteTotalTimeoutConstant, 5u);
  ASSERT_TRUE(GetCommTimeouts(null.get(), &got));
  EXPECT_EQ(got.ReadIntervalTimeout, 10u);
  EXPECT_EQ(got.WriteTotalTimeoutConstant, 50u);
}

struct ReadCase {
  const char* what;
  size_t sent;  // bytes the device sent before the read
  DWORD constantMs;
  DWORD asked;
  DWORD expected;
  int64_t minMs;  // generous bounds: the machine is shared
  int64_t maxMs;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.what; }

class TimedReadTest : public PosixSerialTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(TimedReadTest, ReturnsWithWhatArrivedByTheDeadline) {
  const ReadCase& c = GetParam();
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, c.constantMs));
  Bytes sent;
  for (size_t i = 0; i < c.sent; ++i) sent.push_back(static_cast<uint8_t>(0xA0 + i));
  if (!sent.empty()) {
    device_.Send(sent);
    ASSERT_TRUE(WaitForInput(port.get(), static_cast<DWORD>(sent.size())));
  }
  uint8_t buffer[64] = {};
  DWORD got = 12345;
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port.get(), buffer, c.asked, &got, nullptr)) << c.what;
  const int64_t elapsed = MsSince(start);
  EXPECT_EQ(got, c.expected) << c.what;
  EXPECT_GE(elapsed, c.minMs) << c.what;
  EXPECT_LE(elapsed, c.maxMs) << c.what;
  EXPECT_EQ(Bytes(buffer, buffer + got), Bytes(sent.begin(), sent.begin() + got));
}

INSTANTIATE_TEST_SUITE_P(Reads, TimedReadTest,
                         ::testing::Values(ReadCase{"silent line", 0, 100, 6, 0, 90, 800},
                                           ReadCase{"fewer bytes than asked", 3, 100, 6, 3, 90, 800},
                                           ReadCase{"all bytes there", 6, 1000, 6, 6, 0, 500},
                                           ReadCase{"more bytes than asked", 9, 1000, 4, 4, 0, 500}));

// A reply read the way the driver reads it: a request written, then the
// reply taken in parts. The first part waits for the answer; later parts
// take what has arrived, and wait for what has not.
struct PartsCase {
  const char* what;
  Bytes first;      // sent once the request is out
  int restAfterMs;  // -1: nothing more; else the rest follows after this
  Bytes rest;
  std::vector<DWORD> parts;     // the reads, in bytes asked
  std::vector<DWORD> expected;  // bytes each read gives
};

void PrintTo(const PartsCase& c, std::ostream* out) { *out << c.what; }

class ReplyPartsTest : public PosixSerialTest, public ::testing::WithParamInterface<PartsCase> {};

TEST_P(ReplyPartsTest, EachPartGivesItsBytesInOrder) {
  const PartsCase& c = GetParam();
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 300));
  const uint8_t request[] = {1, 3, 0, 0, 0, 1};
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port.get(), request, sizeof request, &written, nullptr));
  ASSERT_EQ(device_.ReceiveExactly(sizeof request), Bytes(request, request + sizeof request));
  device_.Send(c.first);
  std::thread later([&] {
    if (c.restAfterMs < 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(c.restAfterMs));
    device_.Send(c.rest);
  });
  Bytes whole = c.first;
  whole.insert(whole.end(), c.rest.begin(), c.rest.end());
  Bytes gotten;
  for (size_t i = 0; i < c.parts.size(); ++i) {
    uint8_t buffer[64] = {};
    DWORD got = 999;
    EXPECT_TRUE(ReadFile(port.get(), buffer, c.parts[i], &got, nullptr)) << c.what << ", read " << i;
    EXPECT_EQ(got, c.expected[i]) << c.what << ", read " << i;
    gotten.insert(gotten.end(), buffer, buffer + std::min<DWORD>(got, sizeof buffer));
  }
  later.join();
  EXPECT_EQ(gotten, Bytes(whole.begin(), whole.begin() + static_cast<long>(gotten.size()))) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Parts, ReplyPartsTest,
    ::testing::Values(
        PartsCase{"whole reply, read as header, count and rest",
                  {1, 3, 2, 0, 7, 0xB8, 0x44},
                  -1,
                  {},
                  {2, 1, 4},
                  {2, 1, 4}},
        PartsCase{"rest arrives after the header", {1, 3}, 60, {2, 0, 7, 0xB8, 0x44}, {2, 1, 4}, {2, 1, 4}},
        PartsCase{"a part that arrives in two pieces", {1, 3, 2, 0}, 60, {7, 0xB8, 0x44}, {2, 5}, {2, 5}},
        PartsCase{"a read of nothing takes nothing", {1, 3, 2}, -1, {}, {0, 3, 0}, {0, 3, 0}},
        PartsCase{"a short reply times out with what came", {1, 3, 2, 0}, -1, {}, {2, 1, 4}, {2, 1, 1}}));

TEST_F(PosixSerialTest, DeadlineCountsFromTheCallNotFromEachByte) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 120));
  std::thread trickle([this] {
    for (int i = 0; i < 10; ++i) {
      device_.Send({static_cast<uint8_t>(i)});
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  });
  uint8_t buffer[10];
  DWORD got = 0;
  const auto start = Clock::now();
  const BOOL ok = ReadFile(port.get(), buffer, sizeof buffer, &got, nullptr);
  const int64_t elapsed = MsSince(start);
  trickle.join();
  EXPECT_TRUE(ok);
  EXPECT_GE(got, 1u);
  EXPECT_LT(got, 10u);
  EXPECT_GE(elapsed, 100);
  EXPECT_LT(elapsed, 350) << "the wait restarted with each byte";
}

// Interval timeouts beyond what poll() takes as an int: the total timeout
// still ends the read (they once became a negative wait, for ever).
class LongIntervalTest : public PosixSerialTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(LongIntervalTest, TheTotalTimeoutStillEndsTheRead) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(SetTimeouts(port.get(), GetParam(), 0, 150));
  device_.Send({1});
  std::atomic<bool> returned{false};
  uint8_t buffer[4] = {};
  DWORD got = 0;
  std::thread reader([&] {
    ReadFile(port.get(), buffer, sizeof buffer, &got, nullptr);
    returned = true;
  });
  const auto start = Clock::now();
  while (!returned && MsSince(start) < 3000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const bool inTime = returned;
  if (!inTime) device_.Send({2, 3, 4});  // lets a hung read end
  reader.join();
  EXPECT_TRUE(inTime) << "the read waited past its total timeout";
  EXPECT_EQ(got, inTime ? 1u : 4u);
}

INSTANTIATE_TEST_SUITE_P(Intervals, LongIntervalTest,
                         ::testing::Values(DWORD{0x7FFFFFFF}, DWORD{0x80000000}, DWORD{0xFFFFFFFE}));

// Waits under a storm of signals, one every 15 ms for 2.5 s: each ends at
// its own deadline. A wait that started over after each signal would last
// until the storm ends.
struct InterruptedCase {
  const char* what;
  COMMTIMEOUTS timeouts;
  size_t sent;  // bytes there before the wait (0: a silent line)
  DWORD asked;  // 0: Sleep(sleepMs) instead of a read
  DWORD sleepMs;
  int64_t minMs;
  int64_t maxMs;
};

void PrintTo(const InterruptedCase& c, std::ostream* out) { *out << c.what; }

class InterruptedWaitTest : public PosixSerialTest, public ::testing::WithParamInterface<InterruptedCase> {};

TEST_P(InterruptedWaitTest, EndsAtItsDeadline) {
  const InterruptedCase& c = GetParam();
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  COMMTIMEOUTS timeouts = c.timeouts;
  ASSERT_TRUE(SetCommTimeouts(port.get(), &timeouts));
  if (c.sent > 0) {
    device_.Send(Bytes(c.sent, 0x5A));
    ASSERT_TRUE(WaitForInput(port.get(), static_cast<DWORD>(c.sent)));
  }
  uint8_t buffer[32] = {};
  DWORD got = 0;
  int64_t elapsed = 0;
  {
    SignalStorm storm(std::chrono::milliseconds(15), std::chrono::milliseconds(2500));
    const auto start = Clock::now();
    if (c.asked == 0) {
      Sleep(c.sleepMs);
    } else {
      EXPECT_TRUE(ReadFile(port.get(), buffer, c.asked, &got, nullptr)) << c.what;
    }
    elapsed = MsSince(start);
  }
  EXPECT_GT(SignalStorm::delivered(), 3) << c.what;
  EXPECT_GE(elapsed, c.minMs) << c.what;
  EXPECT_LE(elapsed, c.maxMs) << c.what << ": the wait started over after a signal";
  if (c.asked != 0) {
    EXPECT_EQ(got, c.sent) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptedWaitTest,
    ::testing::Values(InterruptedCase{"silent line, total timeout", {0, 0, 300, 0, 0}, 0, 6, 0, 290, 1000},
                      InterruptedCase{
                          "part of a reply, total timeout", {0, 0, 300, 0, 0}, 2, 6, 0, 290, 1000},
                      InterruptedCase{"multiplier per byte asked", {0, 50, 0, 0, 0}, 0, 6, 0, 290, 1000},
                      InterruptedCase{"interval after the first byte", {300, 0, 0, 0, 0}, 1, 6, 0, 290, 1000},
                      InterruptedCase{"Sleep", {0, 0, 0, 0, 0}, 0, 0, 300, 295, 1000}));

TEST_F(PosixSerialTest, AllZeroTimeoutsWaitUntilEveryByteArrived) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 0));
  std::thread sender([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    device_.Send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    device_.Send({4, 5, 6});
  });
  uint8_t buffer[6] = {};
  DWORD got = 0;
  const auto start = Clock::now();
  const BOOL ok = ReadFile(port.get(), buffer, sizeof buffer, &got, nullptr);
  const int64_t elapsed = MsSince(start);
  sender.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(Bytes(buffer, buffer + got), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_GE(elapsed, 120);
}

TEST_F(PosixSerialTest, ReadOnAHungUpLineGivesNothing) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 100));
  device_.HangUp();
  uint8_t buffer[4];
  DWORD got = 99;
  const auto start = Clock::now();
  ReadFile(port.get(), buffer, sizeof buffer, &got, nullptr);
  EXPECT_EQ(got, 0u);
  EXPECT_LT(MsSince(start), 800);
  DWORD written = 99;
  EXPECT_FALSE(WriteFile(port.get(), buffer, sizeof buffer, &written, nullptr));
}

// ---- queues, writes, modem lines, sleep ---------------------------------------

TEST_F(PosixSerialTest, ClearCommErrorReportsTheQueues) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  DWORD errors = 77;
  COMSTAT status{};
  ASSERT_TRUE(ClearCommError(port.get(), &errors, &status));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(status.cbInQue, 0u);
  EXPECT_EQ(status.cbOutQue, 0u);

  device_.Send(Bytes(37, 0x5A));
  ASSERT_TRUE(WaitForInput(port.get(), 37));
  uint8_t buffer[30];
  DWORD got = 0;
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 100));
  ASSERT_TRUE(ReadFile(port.get(), buffer, sizeof buffer, &got, nullptr));
  ASSERT_EQ(got, 30u);
  ASSERT_TRUE(ClearCommError(port.get(), &errors, &status));
  EXPECT_EQ(status.cbInQue, 7u);
  EXPECT_EQ(status.cbOutQue, 0u);  // a pseudo-terminal hands output on at once
  EXPECT_TRUE(ClearCommError(port.get(), nullptr, nullptr));

  OpenPort null("NUL");
  ASSERT_TRUE(null.ok());
  EXPECT_FALSE(ClearCommError(null.get(), &errors, &status)) << "the null device has no queues";
}

TEST_F(PosixSerialTest, SetupCommSucceeds) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  EXPECT_TRUE(SetupComm(port.get(), 1200, 1200));
}

TEST_F(PosixSerialTest, WriteFileWritesEverythingAcrossPartialWrites) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  // Far more than a pseudo-terminal buffers: the kernel takes it in pieces.
  Bytes data(256 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  Bytes received;
  std::thread reader([&] { received = device_.ReceiveExactly(data.size(), 20000); });
  DWORD written = 0;
  const BOOL ok = WriteFile(port.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  reader.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(written, data.size());
  EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

TEST_F(PosixSerialTest, EscapeCommFunctionFailsWithoutModemLines) {
  OpenPort line("COM1");
  OpenPort null("NUL");
  ASSERT_TRUE(line.ok() && null.ok());
  for (DWORD function : {DWORD{SETRTS}, DWORD{CLRRTS}, DWORD{SETDTR}, DWORD{CLRDTR}, DWORD{99}}) {
    EXPECT_FALSE(EscapeCommFunction(line.get(), function)) << function;
    EXPECT_FALSE(EscapeCommFunction(null.get(), function)) << function;
  }
}

TEST(PosixSleep, SleepsWithoutBusyWaiting) {
  const auto start = Clock::now();
  const double cpuStart = CpuMs();
  Sleep(80);
  const int64_t elapsed = MsSince(start);
  const double cpu = CpuMs() - cpuStart;
  EXPECT_GE(elapsed, 75);
  EXPECT_LT(elapsed, 1000);
  EXPECT_LT(cpu, 40.0) << "the sleep used the processor";
  const auto zero = Clock::now();
  Sleep(0);
  EXPECT_LT(MsSince(zero), 200);
}

// ---- handles -------------------------------------------------------------------

TEST_F(PosixSerialTest, ClosedAndForeignHandlesAreRefused) {
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  const HANDLE closed = port.get();
  ASSERT_TRUE(port.Close());
  const HANDLE handles[] = {closed, nullptr, INVALID_HANDLE_VALUE,
                            reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xCDCDCDCDu))};
  for (HANDLE h : handles) {
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    COMSTAT status{};
    DWORD n = 0;
    uint8_t byte = 0;
    EXPECT_FALSE(GetCommState(h, &dcb));
    EXPECT_FALSE(SetCommState(h, &dcb));
    EXPECT_FALSE(GetCommTimeouts(h, &timeouts));
    EXPECT_FALSE(SetCommTimeouts(h, &timeouts));
    EXPECT_FALSE(SetupComm(h, 1200, 1200));
    EXPECT_FALSE(ClearCommError(h, &n, &status));
    EXPECT_FALSE(ReadFile(h, &byte, 1, &n, nullptr));
    EXPECT_FALSE(WriteFile(h, &byte, 1, &n, nullptr));
    EXPECT_FALSE(EscapeCommFunction(h, SETRTS));
    EXPECT_FALSE(CloseHandle(h));
  }
}

// ---- the test line over a real port ----------------------------------------------------------------

TEST_F(PosixSerialTest, TestLineFailsChosenCallsAfterSkippingSomeAndCountsThem) {
  const LineOps& line = TestLine();
  OpenPort port("COM1");
  ASSERT_TRUE(port.ok());
  SerialFaultsReset();
  COMMTIMEOUTS t{};
  SerialFaultFail(SerialCall::kGetCommTimeouts, 2, 1);
  EXPECT_TRUE(line.getTimeouts(port.get(), &t));
  EXPECT_FALSE(line.getTimeouts(port.get(), &t));
  EXPECT_FALSE(line.getTimeouts(port.get(), &t));
  EXPECT_TRUE(line.getTimeouts(port.get(), &t));
  EXPECT_EQ(SerialCallCount(SerialCall::kGetCommTimeouts), 4);
  EXPECT_EQ(SerialCallCount(SerialCall::kSetCommTimeouts), 0);

  device_.Send({1, 2, 3, 4, 5, 6});
  ASSERT_TRUE(WaitForInput(port.get(), 6));
  ASSERT_TRUE(SetTimeouts(port.get(), 0, 0, 100));
  SerialFaultShortTransfer(SerialCall::kReadFile, 2);
  uint8_t buffer[6];
  DWORD got = 0;
  ASSERT_TRUE(line.read(port.get(), buffer, 6, &got));
  EXPECT_EQ(got, 2u);
  ASSERT_TRUE(line.read(port.get(), buffer, 6, &got));
  EXPECT_EQ(got, 4u);

  SerialFaultShortTransfer(SerialCall::kWriteFile, 3);
  DWORD written = 0;
  ASSERT_TRUE(line.write(port.get(), buffer, 4, &written));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(device_.ReceiveExactly(3), (Bytes{3, 4, 5}));

  SerialFaultsReset();
  EXPECT_EQ(SerialCallCount(SerialCall::kGetCommTimeouts), 0);
}

}  // namespace
