// Real serial lines through the POSIX layer: a pseudo-terminal opened again
// with parity, rates without a B constant, a device that goes away, and (on
// the UART the device hook plays) receive latency, the transmitter's last
// bits and RS-485 turnaround.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <linux/serial.h>
#include <sys/ioctl.h>

#include "host_interface/instance.h"
#include "programs/far_end.h"
#include "tests/support/serial_faults.h"
#include "platform/os_notes.h"
#include "platform/win32.h"
#include "host_interface/journal.h"
#include "serial/line.h"
#include "serial/frame.h"
#include "transfer/exchange.h"
#include "tests/platform/uart_double.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"

using namespace kovrin;

namespace {

using Clock = std::chrono::steady_clock;

HANDLE Open(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Descriptors of this process that still reach the device at path (the
// kernel shows a removed one as "path (deleted)").
int DescriptorsOf(const std::string& path) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
    if (target == path || target == path + " (deleted)") ++count;
  }
  return count;
}

// All of this process's descriptors (a count that must not grow).
int OpenDescriptors() {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    (void)entry;
    ++count;
  }
  return count;
}

bool SetLine(HANDLE port, DWORD baud, BYTE byteSize, BYTE parity) {
  DCB dcb{};
  if (!GetCommState(port, &dcb)) return false;
  dcb.BaudRate = baud;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = 1;
  return SetCommState(port, &dcb) == TRUE;
}

class SerialLinesTest : public ::testing::Test {
 protected:
  // The driver hands the layer this sink when it opens a port; these tests
  // call the layer directly.
  static void Journal(const char* note) { err(kLogMajor, "%s", note); }
  void SetUp() override {
    SerialFaultsReset();
    SetOsNoteSink(Journal);
  }
  void TearDown() override {
    SetOsNoteSink(nullptr);
    SerialFaultsReset();
  }
  PtyDevice device_;
};

// ---- parity on a line opened again ------------------------------------------------

struct ReopenCase {
  const char* what;
  DWORD firstBaud;
  BYTE firstSize;
  BYTE firstParity;
  DWORD baud;
  BYTE size;
  BYTE parity;
};

void PrintTo(const ReopenCase& c, std::ostream* out) { *out << c.what; }

class ReopenWithParityTest : public SerialLinesTest, public ::testing::WithParamInterface<ReopenCase> {};

// A pseudo-terminal keeps 8 bits without parity enable: once it holds the
// rate, setting parity changes nothing it carries, and the second open must
// still succeed and report what it was given.
TEST_P(ReopenWithParityTest, SecondOpenTakesTheSettings) {
  const ReopenCase& c = GetParam();
  HANDLE first = Open("COM1");
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetLine(first, c.firstBaud, c.firstSize, c.firstParity));
  ASSERT_TRUE(CloseHandle(first));

  HANDLE second = Open("COM1");
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetLine(second, c.baud, c.size, c.parity)) << c.what;
  DCB back{};
  ASSERT_TRUE(GetCommState(second, &back));
  EXPECT_EQ(back.BaudRate, c.baud);
  EXPECT_EQ(back.ByteSize, c.size);
  EXPECT_EQ(back.Parity, c.parity);
  // Set twice on the same handle: the same again.
  EXPECT_TRUE(SetLine(second, c.baud, c.size, c.parity));
  ASSERT_TRUE(CloseHandle(second));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReopenWithParityTest,
    ::testing::Values(ReopenCase{"8N1 then 8E1 at 19200", 19200, 8, NOPARITY, 19200, 8, EVENPARITY},
                      ReopenCase{"8E1 twice at 9600", 9600, 8, EVENPARITY, 9600, 8, EVENPARITY},
                      ReopenCase{"8N1 then 7O1", 19200, 8, NOPARITY, 19200, 7, ODDPARITY},
                      ReopenCase{"8N1 then 8 mark", 4800, 8, NOPARITY, 4800, 8, MARKPARITY},
                      ReopenCase{"8E1 at 14400 twice", 14400, 8, EVENPARITY, 14400, 8, EVENPARITY}));

// The line helper of the simulator and the host program: the same device
// set up twice (two runs of rtusim on one line) in the usual Modbus formats.
struct LineFormatCase {
  int baud;
  char parity;
  int stopBits;
};

void PrintTo(const LineFormatCase& c, std::ostream* out) { *out << c.baud << " 8" << c.parity << c.stopBits; }

class LineHelperTest : public SerialLinesTest, public ::testing::WithParamInterface<LineFormatCase> {};

TEST_P(LineHelperTest, SetsTheSameFormatAgain) {
  const LineFormatCase& c = GetParam();
  for (int run = 0; run < 2; ++run) {
    const int line = FarEndOpenDevice(device_.devicePath().c_str());
    ASSERT_GE(line, 0);
    std::string why;
    EXPECT_TRUE(FarEndConfigure(line, c.baud, c.parity, c.stopBits, &why)) << "run " << run << ": " << why;
    FarEndClose(line);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, LineHelperTest,
                         ::testing::Values(LineFormatCase{19200, 'E', 1}, LineFormatCase{9600, 'O', 1},
                                           LineFormatCase{19200, 'N', 2}, LineFormatCase{14400, 'E', 1},
                                           LineFormatCase{56000, 'N', 1}));

TEST_F(SerialLinesTest, LineHelperNamesWhatIsWrong) {
  const int line = FarEndOpenDevice(device_.devicePath().c_str());
  ASSERT_GE(line, 0);
  const struct {
    int baud;
    char parity;
    int stopBits;
    const char* why;
  } cases[] = {
      {0, 'N', 1, "no rate of 0 baud"}, {9600, 'M', 1, "no parity M"}, {9600, 'N', 3, "no 3 stop bits"}};
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(FarEndConfigure(line, c.baud, c.parity, c.stopBits, &why));
    EXPECT_EQ(why, c.why);
  }
  FarEndClose(line);
  const int notALine = FarEndOpenDevice("/dev/null");
  std::string why;
  EXPECT_FALSE(FarEndConfigure(notALine, 9600, 'N', 1, &why));
  EXPECT_EQ(why.rfind("not a serial line", 0), 0u) << why;
  FarEndClose(notALine);
}

// ---- every rate ---------------------------------------------------------------------

class RateTest : public SerialLinesTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(RateTest, RunsAtTheRate) {
  const DWORD rate = GetParam();
  HANDLE port = Open("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetLine(port, rate, 8, EVENPARITY)) << rate;
  DCB back{};
  ASSERT_TRUE(GetCommState(port, &back));
  EXPECT_EQ(back.BaudRate, rate);
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(port, &view));
  EXPECT_EQ(view.baud, rate) << "the device holds the rate itself";
  EXPECT_TRUE(view.raw);
  EXPECT_TRUE(view.inputParityCheck);
  // And back to a rate with a B constant.
  EXPECT_TRUE(SetLine(port, 9600, 8, NOPARITY));
  ASSERT_TRUE(SerialViewDevice(port, &view));
  EXPECT_EQ(view.baud, 9600u);
  ASSERT_TRUE(CloseHandle(port));
}

// The host's table and the ends of its 16-bit field.
INSTANTIATE_TEST_SUITE_P(HostRates, RateTest,
                         ::testing::Values(DWORD{14400}, DWORD{28800}, DWORD{56000}, DWORD{128}, DWORD{31250},
                                           DWORD{65535}, DWORD{19200}));

struct HeldRateCase {
  DWORD asked;
  uint32_t held;  // what the device settles on
  bool accepted;
};

void PrintTo(const HeldRateCase& c, std::ostream* out) { *out << c.asked << " held as " << c.held; }

class HeldRateTest : public SerialLinesTest, public ::testing::WithParamInterface<HeldRateCase> {};

TEST_P(HeldRateTest, ARateTheDeviceCannotRunIsRefusedByName) {
  const HeldRateCase& c = GetParam();
  HANDLE port = Open("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetLine(port, 9600, 8, EVENPARITY));
  LogCapture log;
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.BaudRate = c.asked;
  dcb.Parity = NOPARITY;
  bool set = false;
  {
    UartScript script;
    script.heldRate = c.held;
    UartDouble uart(script);
    set = SetCommState(port, &dcb) == TRUE;
  }
  EXPECT_EQ(set, c.accepted);
  const std::string message = "KOVRIN> The COM port cannot run at " + std::to_string(c.asked) +
                              " baud (it offers " + std::to_string(c.held) + ")";
  EXPECT_EQ(log.Contains(message), !c.accepted);
  if (!c.accepted) {
    DCB back{};
    ASSERT_TRUE(GetCommState(port, &back));
    EXPECT_EQ(back.BaudRate, 9600u) << "the previous line stays";
    EXPECT_EQ(back.Parity, EVENPARITY);
  }
  ASSERT_TRUE(CloseHandle(port));
}

INSTANTIATE_TEST_SUITE_P(Rates, HeldRateTest,
                         ::testing::Values(HeldRateCase{14400, 14400, true},
                                           HeldRateCase{14400, 14406, true},  // divider rounding
                                           HeldRateCase{56000, 57600, false},
                                           HeldRateCase{14400, 9600, false},
                                           HeldRateCase{19200, 9600, false}));

// ---- a device that goes away ----------------------------------------------------------

TEST_F(SerialLinesTest, AGoneDeviceFailsEveryCallPromptlyAndLetsGoOfItsDescriptor) {
  HANDLE port = Open("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  COMMTIMEOUTS timeouts{0, 0, 1000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
  const std::string path = device_.devicePath();
  ASSERT_EQ(DescriptorsOf(path), 1);
  device_.HangUp();
  for (int attempt = 0; attempt < 3; ++attempt) {
    uint8_t buffer[8];
    DWORD n = 99;
    const auto start = Clock::now();
    EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &n, nullptr)) << attempt;
    EXPECT_EQ(n, 0u);
    EXPECT_LT(MsSince(start), 500) << "a gone device does not wait for the timeout";
    EXPECT_FALSE(WriteFile(port, buffer, sizeof buffer, &n, nullptr)) << attempt;
    DWORD errors = 0;
    COMSTAT status{};
    EXPECT_FALSE(ClearCommError(port, &errors, &status)) << attempt;
  }
  EXPECT_EQ(DescriptorsOf(path), 0) << "the descriptor of the gone device is kept";
  DCB dcb{};
  EXPECT_FALSE(GetCommState(port, &dcb));
  EXPECT_TRUE(CloseHandle(port)) << "closing a gone device's handle succeeds";
  EXPECT_FALSE(CloseHandle(port)) << "but only once";
}

TEST_F(SerialLinesTest, AnAdapterUnpluggedAndBackOpensAgainAHundredTimes) {
  // The driver's ReOpenCom opens the port again without closing the handle
  // of the device that went away: neither its descriptor nor its slot may
  // stay behind, and the old handle must not reach the new device.
  HANDLE port = Open("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  const int openAtStart = OpenDescriptors();
  for (int cycle = 0; cycle < 100; ++cycle) {
    // Every second cycle the driver saw the failure before reopening.
    if (cycle % 2 == 0) {
      device_.Replug();
    } else {
      device_.HangUp();
      uint8_t byte = 0;
      DWORD n = 0;
      EXPECT_FALSE(WriteFile(port, &byte, 1, &n, nullptr));
      device_.Replug();
    }
    HANDLE again = Open("COM1");
    ASSERT_NE(again, INVALID_HANDLE_VALUE) << "cycle " << cycle;
    ASSERT_NE(again, port);
    ASSERT_EQ(OpenDescriptors(), openAtStart) << "cycle " << cycle << ": descriptors pile up";
    uint8_t byte = 0x5A;
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(port, &byte, 1, &n, nullptr)) << "the old handle reached the new device";
    ASSERT_TRUE(WriteFile(again, &byte, 1, &n, nullptr));
    ASSERT_EQ(device_.ReceiveExactly(1), std::vector<uint8_t>{0x5A}) << "cycle " << cycle;
    port = again;
  }
  EXPECT_TRUE(CloseHandle(port));
}

// ---- receive latency of USB adapters -------------------------------------------------------

struct LatencyCase {
  const char* what;
  bool answersSerialInfo;
  int flags;
  int setError;
  const char* trace;  // the requests of the open, in order
};

void PrintTo(const LatencyCase& c, std::ostream* out) { *out << c.what; }

class LowLatencyTest : public SerialLinesTest, public ::testing::WithParamInterface<LatencyCase> {};

TEST_P(LowLatencyTest, IsAskedForWhereTheDeviceHasIt) {
  const LatencyCase& c = GetParam();
  UartScript script;
  script.answersSerialInfo = c.answersSerialInfo;
  script.serialFlags = c.flags;
  script.setSerialError = c.setError;
  UartDouble uart(script);
  HANDLE port = Open("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << "an open never fails over latency";
  EXPECT_EQ(uart.Trace(), c.trace);
  for (const UartRequest& r : uart.requests()) {
    if (r.request != TIOCSSERIAL) continue;
    EXPECT_NE(r.value & ASYNC_LOW_LATENCY, 0);
    EXPECT_EQ(r.value & ASYNC_SPD_MASK, c.flags & ASYNC_SPD_MASK) << "other flags are kept";
    EXPECT_EQ(uart.lastSetBaudBase(), 115200) << "the rest of the record is kept";
  }
  EXPECT_TRUE(CloseHandle(port));
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LowLatencyTest,
    ::testing::Values(
        LatencyCase{"USB adapter", true, ASYNC_SPD_HI, 0, "TIOCEXCL TIOCGSERIAL TIOCSSERIAL TIOCGRS485"},
        LatencyCase{"already low", true, ASYNC_LOW_LATENCY, 0, "TIOCEXCL TIOCGSERIAL TIOCGRS485"},
        LatencyCase{"setting refused", true, 0, EPERM, "TIOCEXCL TIOCGSERIAL TIOCSSERIAL TIOCGRS485"},
        LatencyCase{"no serial info", false, 0, 0, "TIOCEXCL TIOCGSERIAL TIOCGRS485"}));

// ---- the transmitter's last bits ------------------------------------------------------------

// A write returns once its bytes have left the wire (as a synchronous write
// on a Windows port does), whatever the UART can tell of its queue: the
// output queue then reads empty without asking again.
struct DrainCase {
  const char* what;
  std::deque<int> outputQueue;
  std::deque<bool> transmitterEmpty;
  bool answersLineStatus;
};

void PrintTo(const DrainCase& c, std::ostream* out) { *out << c.what; }

class TransmitterTest : public SerialLinesTest, public ::testing::WithParamInterface<DrainCase> {};

TEST_P(TransmitterTest, WriteReturnsOnceTheLastBitIsOut) {
  const DrainCase& c = GetParam();
  UartScript script;
  script.outputQueue = c.outputQueue;
  script.transmitterEmpty = c.transmitterEmpty;
  script.answersLineStatus = c.answersLineStatus;
  UartDouble uart(script);
  HANDLE port = Open("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  uart.Clear();
  const uint8_t frame[8] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(port, frame, sizeof frame, &n, nullptr));
  EXPECT_EQ(n, sizeof frame);
  EXPECT_EQ(uart.Trace(), "drain");
  uart.Clear();
  for (int i = 0; i < 2; ++i) {
    DWORD errors = 0;
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(port, &errors, &status));
    EXPECT_EQ(status.cbOutQue, 0u);
  }
  EXPECT_EQ(uart.Trace({"FIONREAD", "TCGETS2", "TCSETS2"}), "");
  EXPECT_EQ(device_.ReceiveExactly(8), std::vector<uint8_t>(frame, frame + 8));
  EXPECT_TRUE(CloseHandle(port));
}

INSTANTIATE_TEST_SUITE_P(
    Uarts, TransmitterTest,
    ::testing::Values(DrainCase{"queue, then FIFO and shift register", {5, 0, 0}, {false, true}, true},
                      DrainCase{"all out at once", {0}, {true}, true},
                      DrainCase{"no line status", {2, 0}, {}, false}));

// The frame exchange with RTSCTS on: RTS drops only after the transmitter
// is empty, not when the kernel's queue first reads 0.
TEST_F(SerialLinesTest, RtsDropsAfterTheTransmitterIsEmpty) {
  UartScript script;
  // A UART whose queue and FIFO empty only after a while.
  script.outputQueue = {3, 0, 0, 0};
  script.transmitterEmpty = {false, false, true};
  UartDouble uart(script);
  VpiInstance instance;
  std::memset(&instance, 0, sizeof instance);
  instance.portHandle = Open("COM1");
  ASSERT_NE(instance.portHandle, INVALID_HANDLE_VALUE);
  instance.RTSCTS = 1;
  uart.Clear();
  uint8_t frame[8] = {1, 3, 0, 0, 0, 1};
  ASSERT_EQ(SendFrame(FrameLineOf(instance), frame, 6), SendResult::kSent);
  // The write itself waits for the transmitter: RTS drops after it.
  EXPECT_EQ(uart.Trace({"FIONREAD", "TCGETS2", "TCSETS2"}), "RTS+ drain RTS-");
  EXPECT_EQ(device_.ReceiveExactly(8), (std::vector<uint8_t>{1, 3, 0, 0, 0, 1, 0x84, 0x0A}));
  EXPECT_TRUE(CloseHandle(instance.portHandle));
}

TEST_F(SerialLinesTest, KernelRs485ModeKeepsRtsToTheKernelAndSaysSoOnce) {
  for (bool kernelMode : {false, true}) {
    UartScript script;
    script.rs485Enabled = kernelMode;
    UartDouble uart(script);
    LogCapture log;
    VpiInstance instance;
    std::memset(&instance, 0, sizeof instance);
    // Opened as the driver opens it, which hands the layer the journal.
    SetOsNoteSink(nullptr);
    instance.portHandle = ProductLine().open("COM1");
    ASSERT_NE(instance.portHandle, INVALID_HANDLE_VALUE);
    instance.RTSCTS = 1;
    uart.Clear();
    for (int frameNumber = 0; frameNumber < 2; ++frameNumber) {
      uint8_t frame[8] = {1, 3, 0, 0, 0, 1};
      ASSERT_EQ(SendFrame(FrameLineOf(instance), frame, 6), SendResult::kSent);
      ASSERT_EQ(device_.ReceiveExactly(8).size(), 8u);
    }
    const std::string trace = uart.Trace({"FIONREAD", "TIOCOUTQ", "LSR-empty", "drain"});
    EXPECT_EQ(trace, kernelMode ? "" : "RTS+ RTS- RTS+ RTS-") << kernelMode;
    EXPECT_EQ(log.Count("KOVRIN> RS-485 mode of the COM port is on: the kernel switches RTS"),
              kernelMode ? 1 : 0);
    EXPECT_FALSE(log.Contains("KOVRIN> Send() EscapeCommFunction() failed"));
    EXPECT_TRUE(CloseHandle(instance.portHandle));
  }
}

}  // namespace
