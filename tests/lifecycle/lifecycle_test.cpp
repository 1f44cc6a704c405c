// Start, restart, port control and end of an instance, through VpiMain as
// the host calls them, with a pseudo-terminal as the instance's port.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "host_interface/host_library.h"
#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "host/zelpro/zelpro_host.h"
#include "tests/support/serial_faults.h"
#include "serial/port.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"

using namespace kovrin;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kDriverNumber = 3;

const char kOpenFailed[] = "KOVRIN> ColdStart() error opening COM port";
const char kInstalled[] = "KOVRIN> ModBus/J-BUS (RTU protocol) 32bit driver installed";
const char kChangeFailed[] = "KOVRIN> ChangeVpiParams() open new COM port failed";

Bytes Snapshot(const VpiInstance& instance) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&instance);
  return Bytes(bytes, bytes + sizeof instance);
}

// Runs before the log capture attaches, so the capture survives the reset.
struct FreshHost {
  FreshHost() { ZelHostReset(); }
  ~FreshHost() { ZelHostReset(); }
};

ColdStartParams StartParams(uint32_t portInUse, const char* name = "COM1", uint32_t timeout = 20,
                            uint16_t baud = 9600) {
  ColdStartParams p{};
  CopyPortName(p.portName, name);
  p.portInUse = portInUse;
  p.replyTimeout = timeout;
  p.baud = baud;
  p.dataBits = 8;
  p.stopBits = 0;
  p.parity = 0;
  return p;
}

ChangeParams ChangeTo(const char* name, int32_t timeout, uint16_t baud = 0, int16_t dataBits = 8,
                      int16_t stopBits = 0, int16_t parity = 0) {
  ChangeParams p{};
  CopyPortName(p.portName, name);
  p.replyTimeout = timeout;
  p.baud = baud;
  p.dataBits = dataBits;
  p.stopBits = stopBits;
  p.parity = parity;
  return p;
}

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SerialFaultsReset();
    g_ended = 0;
    std::memset(&instance_, 0xCD, sizeof instance_);  // the host's allocation is not cleared
  }
  void TearDown() override {
    SerialFaultsReset();
    g_ended = 0;
    // The slot table refuses a handle that is garbage or already closed.
    ClosePort(instance_.portHandle);
  }

  int32_t ColdStartWith(ColdStartParams params) { return session_.Call(kCmdColdStart, &params); }
  int32_t Change(ChangeParams params) { return session_.Call(kCmdChangeVpiParams, &params); }

  DWORD ReadTimeoutMs() const {
    COMMTIMEOUTS t{};
    return GetCommTimeouts(instance_.portHandle, &t) ? t.ReadTotalTimeoutConstant : 0xFFFFFFFFu;
  }
  static bool Held(const PtyDevice& device) {
    HANDLE probe = nullptr;
    PortSettings line{};
    line.baud = 9600;
    line.dataBits = 8;
    if (OpenPort(device.devicePath().c_str(), line, &probe) != PortResult::kDone) return true;
    ClosePort(probe);
    return false;
  }
  // The instance's handle is the device's line: a frame written reaches it.
  bool Reaches(PtyDevice& device) const {
    const Bytes frame{0x01, 0x02, 0x03};
    DWORD written = 0;
    if (WriteBytes(instance_.portHandle, frame.data(), 3, &written) != PortResult::kDone) return false;
    return device.ReceiveExactly(3) == frame;
  }
  bool ClientRegistered() const { return ZelHostClientRegistered(instance_.clientId) != 0; }
  std::string ClientName() const {
    char name[64];
    ZelHostClientName(instance_.clientId, name, sizeof name);
    return name;
  }
  std::vector<LogLine> Lines(std::initializer_list<LogLine> lines) { return lines; }

  FreshHost host_;
  PtyDevice device_;
  LogCapture log_;
  HostSession session_{&VpiMain, kDriverNumber};
  VpiInstance& instance_ = session_.instance();
};

// ---- the state table ---------------------------------------------------------------

enum class Step {
  kStartWithPort,
  kStartWithoutPort,
  kStartMissingPort,
  kCloseCom,
  kReOpenCom,
  kChangeToCom1,
  kEndVpi
};

struct StateCase {
  const char* state;
  std::vector<Step> steps;
  int32_t result;  // of the last step
  int portOpen;    // -1: any
  bool handleOpen;
  bool clientRegistered;
  bool ended;
};

void PrintTo(const StateCase& c, std::ostream* out) { *out << c.state; }

class StateTableTest : public LifecycleTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateTableTest, StepsReachTheState) {
  const StateCase& c = GetParam();
  int32_t result = -1;
  for (Step step : c.steps) {
    ChangeParams change = ChangeTo("COM1", 20, 9600);
    switch (step) {
      case Step::kStartWithPort:
        result = ColdStartWith(StartParams(1));
        break;
      case Step::kStartWithoutPort:
        result = ColdStartWith(StartParams(0));
        break;
      case Step::kStartMissingPort:
        result = ColdStartWith(StartParams(1, "COM7"));
        break;
      case Step::kCloseCom:
        result = session_.Call(kCmdCloseCom, nullptr);
        break;
      case Step::kReOpenCom:
        result = session_.Call(kCmdReOpenCom, nullptr);
        break;
      case Step::kChangeToCom1:
        result = session_.Call(kCmdChangeVpiParams, &change);
        break;
      case Step::kEndVpi:
        result = session_.Call(kCmdEndVpi, nullptr);
        break;
    }
  }
  EXPECT_EQ(result, c.result);
  if (c.portOpen >= 0) {
    EXPECT_EQ(instance_.portOpen != 0, c.portOpen != 0);
  }
  EXPECT_EQ(instance_.portHandle != nullptr, c.handleOpen);
  EXPECT_EQ(Held(device_), c.handleOpen);
  if (c.handleOpen) {
    EXPECT_TRUE(Reaches(device_));
  }
  EXPECT_EQ(ZelHostClientCount(), c.clientRegistered ? 1 : 0);
  EXPECT_EQ(g_ended != 0, c.ended);
}

INSTANTIATE_TEST_SUITE_P(
    States, StateTableTest,
    ::testing::Values(
        StateCase{"started, no port", {Step::kStartWithoutPort}, 0, 0, false, true, false},
        StateCase{"started, port failed", {Step::kStartMissingPort}, 2, 1, false, true, false},
        StateCase{"running", {Step::kStartWithPort}, 0, 1, true, true, false},
        StateCase{"running after ChangeVpiParams",
                  {Step::kStartWithoutPort, Step::kChangeToCom1},
                  0,
                  1,
                  true,
                  true,
                  false},
        StateCase{"closed", {Step::kStartWithPort, Step::kCloseCom}, 0, 0, false, false, false},
        StateCase{
            "reopened", {Step::kStartWithPort, Step::kCloseCom, Step::kReOpenCom}, 0, 1, true, true, false},
        StateCase{"ended", {Step::kStartWithPort, Step::kEndVpi}, 0, -1, false, false, true},
        StateCase{
            "ended without a port", {Step::kStartWithoutPort, Step::kEndVpi}, 0, -1, false, false, true}));

// A read of one holding register, as the host asks for it after the start.
struct ReadAfterCase {
  const char* state;
  std::vector<Step> steps;
  int32_t result;
};

void PrintTo(const ReadAfterCase& c, std::ostream* out) { *out << c.state; }

class ReadAfterTest : public LifecycleTest, public ::testing::WithParamInterface<ReadAfterCase> {};

TEST_P(ReadAfterTest, TransferCommandsSeeThePortFlag) {
  const ReadAfterCase& c = GetParam();
  for (Step step : c.steps) {
    switch (step) {
      case Step::kStartWithoutPort:
        ColdStartWith(StartParams(0));
        break;
      case Step::kStartMissingPort:
        ColdStartWith(StartParams(1, "COM7"));
        break;
      case Step::kStartWithPort:
        ColdStartWith(StartParams(1));
        break;
      case Step::kCloseCom:
        session_.Call(kCmdCloseCom, nullptr);
        break;
      case Step::kEndVpi:
        session_.Call(kCmdEndVpi, nullptr);
        break;
      default:
        FAIL() << "step not used here";
    }
  }
  uint8_t values[16] = {};
  GateTransfer transfer{"0140001", 0, 1, kMemHoldingRegisters, 0, -1, 16, kGateInt16, 1, 0, values};
  EXPECT_EQ(session_.Call(kCmdSingleRead, &transfer), c.result);
  EXPECT_TRUE(device_.Received(20).empty()) << "nothing may reach the line";
}

INSTANTIATE_TEST_SUITE_P(
    Reads, ReadAfterTest,
    ::testing::Values(
        ReadAfterCase{"started, no port: refused", {Step::kStartWithoutPort}, kResultFailed},
        ReadAfterCase{"started, port failed: transport failure", {Step::kStartMissingPort}, kResultTransport},
        ReadAfterCase{"closed: refused", {Step::kStartWithPort, Step::kCloseCom}, kResultFailed},
        ReadAfterCase{"ended: nothing happens", {Step::kStartWithPort, Step::kEndVpi}, kResultDone}));

// ---- ColdStart ------------------------------------------------------------------------

TEST_F(LifecycleTest, ColdStartSetsDefaultsRegistersOpensAndAppliesTheTimeout) {
  ASSERT_EQ(ColdStartWith(StartParams(1, "COM1", 25, 19200)), kResultDone);
  ASSERT_GE(log_.lines().size(), 2u);
  const LogLine& version = log_.lines().front();
  EXPECT_EQ(version.level, kLogMajor);
  EXPECT_TRUE(
      std::regex_match(version.text, std::regex("KOVRIN>:version compiled on [A-Z][a-z]{2} [ 0-3][0-9] "
                                                "[0-9]{4} at time [0-2][0-9]:[0-5][0-9]:[0-5][0-9]")))
      << version.text;
  EXPECT_EQ(log_.lines().back(), (LogLine{kLogMajor, kInstalled}));
  EXPECT_FALSE(log_.Contains(kOpenFailed));

  EXPECT_EQ(instance_.base, 'D');
  EXPECT_EQ(instance_.protocol, 'M');
  EXPECT_EQ(instance_.RTSCTS, 0);
  EXPECT_EQ(instance_.IFG, 0);
  EXPECT_EQ(instance_.IFG_MS, 0);
  EXPECT_EQ(instance_.flags, 0);
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_EQ(instance_.replyTimeout, 25u);
  EXPECT_STREQ(instance_.portSettings.portName, "COM1");
  EXPECT_EQ(instance_.portSettings.baud, 19200);
  EXPECT_EQ(instance_.portSettings.dataBits, 8);
  EXPECT_EQ(instance_.portSettings.stopBits, 0);
  EXPECT_EQ(instance_.portSettings.parity, 0);
  EXPECT_EQ(instance_.portSettings.lineFlags, 0x0303);
  EXPECT_EQ(ReadTimeoutMs(), 250u);
  EXPECT_TRUE(ClientRegistered());
  EXPECT_EQ(ClientName(), "Dorza No_03");
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(instance_.portHandle, &view));
  EXPECT_EQ(view.baud, 19200u);
}

TEST_F(LifecycleTest, ClientNameCarriesTheDriverNumberWithAtLeastTwoDigits) {
  const struct {
    int32_t driverNumber;
    const char* name;
  } cases[] = {{3, "Dorza No_03"}, {123, "Dorza No_123"}, {0, "Dorza No_00"}, {45, "Dorza No_45"}};
  for (const auto& c : cases) {
    ColdStartParams params = StartParams(0);
    // The host numbers its drivers; this instance area is started under c.driverNumber.
    HostSession numbered(&VpiMain, c.driverNumber);
    ASSERT_EQ(numbered.CallFor(&instance_, kCmdColdStart, &params), kResultDone);
    EXPECT_EQ(ClientName(), c.name);
  }
}

TEST_F(LifecycleTest, ColdStartReadsTheInitFileOfItsDriverNumber) {
  std::ofstream("KOVRIN03.INT") << "BUS = J,H\nRTSCTS = YES\nIFG_MS = 7\nSWAP = YES\n";
  std::ofstream("KOVRIN04.INT") << "BUS = M,L\n";
  ASSERT_EQ(ColdStartWith(StartParams(0)), kResultDone);
  EXPECT_EQ(instance_.protocol, 'J');
  EXPECT_EQ(instance_.base, 'H');
  EXPECT_EQ(instance_.RTSCTS, 1);
  EXPECT_EQ(instance_.IFG_MS, 7);
  EXPECT_EQ(instance_.flags, kFlagSwap);
}

struct WriteFlagCase {
  const char* what;
  uint32_t portInUse;
  bool refuseClient;
  int32_t result;
};

void PrintTo(const WriteFlagCase& c, std::ostream* out) { *out << c.what; }

class ColdStartClearsWriteFlagTest : public LifecycleTest,
                                     public ::testing::WithParamInterface<WriteFlagCase> {};

TEST_P(ColdStartClearsWriteFlagTest, GarbageInTheInstanceAreaIsNotAWriteInProgress) {
  const WriteFlagCase& c = GetParam();
  instance_.writeInProgress = 1;  // the value that would steer replies as write echoes
  ZelHostRefuseClients(c.refuseClient ? 1 : 0);
  EXPECT_EQ(ColdStartWith(StartParams(c.portInUse)), c.result);
  EXPECT_EQ(instance_.writeInProgress, 0u);
}

INSTANTIATE_TEST_SUITE_P(Starts, ColdStartClearsWriteFlagTest,
                         ::testing::Values(WriteFlagCase{"with a port", 1, false, 0},
                                           WriteFlagCase{"without a port", 0, false, 0},
                                           WriteFlagCase{"client refused", 1, true, 1}));

TEST_F(LifecycleTest, RefusedClientReturnsOneSilentlyWithoutOpeningThePort) {
  std::ofstream("KOVRIN.INT") << "BUS = J,D\n";
  ZelHostRefuseClients(1);
  EXPECT_EQ(ColdStartWith(StartParams(1)), kResultFailed);
  EXPECT_FALSE(log_.Contains(kOpenFailed));
  EXPECT_FALSE(log_.Contains(kInstalled));
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_EQ(instance_.portHandle, nullptr);
  EXPECT_FALSE(Held(device_));
  EXPECT_EQ(ZelHostClientCount(), 0);
  EXPECT_EQ(instance_.protocol, 'J') << "the init file was read before the refusal";
  EXPECT_EQ(instance_.replyTimeout, 20u);
}

struct OpenFailureCase {
  const char* what;
  const char* name;
  uint16_t baud;
  bool heldElsewhere;
};

void PrintTo(const OpenFailureCase& c, std::ostream* out) { *out << c.what; }

class ColdStartOpenFailureTest : public LifecycleTest,
                                 public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(ColdStartOpenFailureTest, LogsAndReturnsTwoWithTheFlagSetAndNoHandle) {
  const OpenFailureCase& c = GetParam();
  HANDLE other = nullptr;
  if (c.heldElsewhere) {
    PortSettings line{};
    line.baud = 9600;
    line.dataBits = 8;
    ASSERT_EQ(OpenPort("COM1", line, &other), PortResult::kDone);
  }
  EXPECT_EQ(ColdStartWith(StartParams(1, c.name, 20, c.baud)), kResultTransport);
  EXPECT_EQ(log_.lines().back(), (LogLine{kLogMajor, kOpenFailed}));
  EXPECT_FALSE(log_.Contains(kInstalled));
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_EQ(instance_.portHandle, nullptr);
  EXPECT_TRUE(ClientRegistered());
  if (other != nullptr) ClosePort(other);
  EXPECT_FALSE(Held(device_));
}

INSTANTIATE_TEST_SUITE_P(Failures, ColdStartOpenFailureTest,
                         ::testing::Values(OpenFailureCase{"missing device", "COM7", 9600, false},
                                           OpenFailureCase{"device held", "COM1", 9600, true},
                                           OpenFailureCase{"line settings refused", "COM1", 0, false}));

// A restart releases what the module opened and registered for the same
// area; before, the old handle kept the device and the new open failed.
TEST_F(LifecycleTest, ColdStartOfARunningInstanceClosesItsOldPortAndClient) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  ASSERT_EQ(ZelHostClientCount(), 1);
  log_.Clear();
  EXPECT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  EXPECT_FALSE(log_.Contains(kOpenFailed));
  EXPECT_EQ(ZelHostClientCount(), 1) << "the host keeps one client per instance";
  EXPECT_TRUE(ClientRegistered());
  EXPECT_TRUE(Reaches(device_));
  // Closed and reopened like any other port.
  EXPECT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  EXPECT_FALSE(Held(device_));
  EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultDone);
  EXPECT_TRUE(Reaches(device_));
}

TEST_F(LifecycleTest, RestartAfterReOpenReleasesThePortAndTheClientOfTheReopen) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  ASSERT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultDone);
  ASSERT_EQ(ZelHostClientCount(), 1) << "the reopen registers the client again";
  EXPECT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  EXPECT_EQ(ZelHostClientCount(), 1);
  EXPECT_TRUE(Reaches(device_));
}

// A handle is closed only when it was opened for that same area: garbage in
// a fresh area, even one that spells another instance's handle and client,
// is dropped as before.
TEST_F(LifecycleTest, GarbageInAFreshAreaIsNeverClosed) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  VpiInstance other;
  std::memset(&other, 0xCD, sizeof other);
  other.portHandle = instance_.portHandle;
  other.clientId = instance_.clientId;
  ColdStartParams params = StartParams(0);
  EXPECT_EQ(session_.CallFor(&other, kCmdColdStart, &params), kResultDone);
  EXPECT_EQ(other.portHandle, nullptr);
  EXPECT_TRUE(ClientRegistered());
  EXPECT_EQ(ZelHostClientCount(), 2);
  EXPECT_TRUE(Reaches(device_)) << "the first instance's port is still open";
  ColdStartParams withPort = StartParams(1);
  std::memset(&other, 0xCD, sizeof other);
  EXPECT_EQ(session_.CallFor(&other, kCmdColdStart, &withPort), kResultTransport) << "the device is held";
  EXPECT_TRUE(Reaches(device_));
}

// ---- reply timeout 0 -------------------------------------------------------------------

// All-zero read timeouts would make a read of a silent device wait for ever.
TEST_F(LifecycleTest, ReplyTimeoutZeroAtColdStartUsesTheOpenTimeout) {
  ASSERT_EQ(ColdStartWith(StartParams(1, "COM1", 0)), kResultDone);
  EXPECT_EQ(ReadTimeoutMs(), 1000u);
  EXPECT_EQ(instance_.replyTimeout, 100u);
  EXPECT_EQ(log_.Count("KOVRIN> ColdStart() reply timeout 0, 1000 ms used"), 1);
  const auto logged = std::find(log_.lines().begin(), log_.lines().end(),
                                LogLine{kLogMajor, "KOVRIN> ColdStart() reply timeout 0, 1000 ms used"});
  EXPECT_NE(logged, log_.lines().end());
  // A later change that keeps the stored timeout keeps a bounded one.
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  EXPECT_EQ(Change(ChangeTo("COM1", -1)), kResultDone);
  EXPECT_EQ(ReadTimeoutMs(), 1000u);
  // Without a port the value is stored all the same, and logged.
  log_.Clear();
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  ASSERT_EQ(ColdStartWith(StartParams(0, "COM1", 0)), kResultDone);
  EXPECT_EQ(instance_.replyTimeout, 100u);
  EXPECT_EQ(log_.Count("KOVRIN> ColdStart() reply timeout 0, 1000 ms used"), 1);
}

// ---- WarmStart -------------------------------------------------------------------------

TEST_F(LifecycleTest, WarmStartDrainsARunningPort) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  device_.Send(Bytes(40, 0x77));
  DWORD errors = 0;
  COMSTAT status{};
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(ClearCommError(instance_.portHandle, &errors, &status));
    if (status.cbInQue == 40) break;
    Sleep(1);
  }
  ASSERT_EQ(status.cbInQue, 40u);
  log_.Clear();
  EXPECT_EQ(session_.Call(kCmdWarmStart, nullptr), kResultDone);
  ASSERT_TRUE(ClearCommError(instance_.portHandle, &errors, &status));
  EXPECT_EQ(status.cbInQue, 0u);
  EXPECT_EQ(ReadTimeoutMs(), 200u);
  EXPECT_EQ(log_.lines(), Lines({{kLogDetail, "KOVRIN> WarmStart()"}}));
}

TEST_F(LifecycleTest, WarmStartWithoutAPortOnlyLogs) {
  for (const char* name : {"", "COM7"}) {  // no port in use; port failed to open
    ColdStartParams params = StartParams(name[0] == '\0' ? 0 : 1, name);
    session_.Call(kCmdColdStart, &params);
    log_.Clear();
    SerialFaultsReset();
    EXPECT_EQ(session_.Call(kCmdWarmStart, nullptr), kResultDone);
    EXPECT_EQ(log_.lines(), Lines({{kLogDetail, "KOVRIN> WarmStart()"}}));
    EXPECT_EQ(SerialCallCount(SerialCall::kClearCommError), 0);
  }
}

// ---- CloseCom and EndVpi ------------------------------------------------------------------

TEST_F(LifecycleTest, CloseComWithoutAPortRemovesTheClient) {
  ASSERT_EQ(ColdStartWith(StartParams(0)), kResultDone);
  log_.Clear();
  EXPECT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  EXPECT_EQ(ZelHostClientCount(), 0);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone) << "a second close is harmless";
}

TEST_F(LifecycleTest, CloseComThatCannotCloseKeepsEverythingAndSaysNothing) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  const HANDLE handle = instance_.portHandle;
  log_.Clear();
  SerialFaultFail(SerialCall::kCloseHandle);
  EXPECT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultTransport);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(instance_.portHandle, handle);
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_TRUE(ClientRegistered());
  EXPECT_TRUE(Reaches(device_));
}

TEST_F(LifecycleTest, EndVpiEndsEveryInstanceOfTheModule) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  log_.Clear();
  EXPECT_EQ(session_.Call(kCmdEndVpi, nullptr), kResultDone);
  EXPECT_EQ(log_.lines(), Lines({{kLogDetail, "KOVRIN> EndVpi()"}}));
  EXPECT_EQ(instance_.portHandle, nullptr);
  EXPECT_FALSE(Held(device_));
  EXPECT_EQ(ZelHostClientCount(), 0);

  // Every later request, to this or any other instance, answers 0 untouched.
  log_.Clear();
  VpiInstance other;
  std::memset(&other, 0xAB, sizeof other);
  const Bytes otherBefore = Snapshot(other);
  const Bytes before = Snapshot(instance_);
  ColdStartParams start = StartParams(1);
  ChangeParams change = ChangeTo("COM1", 20, 9600);
  EXPECT_EQ(session_.CallFor(&other, kCmdColdStart, &start), kResultDone);
  EXPECT_EQ(session_.Call(kCmdColdStart, &start), kResultDone);
  EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultDone);
  EXPECT_EQ(session_.Call(kCmdChangeVpiParams, &change), kResultDone);
  EXPECT_EQ(session_.Call(kCmdWarmStart, nullptr), kResultDone);
  EXPECT_EQ(session_.Call(kCmdEndVpi, nullptr), kResultDone);
  EXPECT_TRUE(Snapshot(other) == otherBefore);
  EXPECT_TRUE(Snapshot(instance_) == before);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_FALSE(Held(device_));
  EXPECT_EQ(ZelHostClientCount(), 0);
}

TEST_F(LifecycleTest, EndVpiThatCannotCloseLogsAndEndsAllTheSame) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  log_.Clear();
  SerialFaultFail(SerialCall::kCloseHandle);
  EXPECT_EQ(session_.Call(kCmdEndVpi, nullptr), kResultTransport);
  EXPECT_EQ(log_.lines(), Lines({{kLogMajor, "KOVRIN> EndVpi() error closing COM port"},
                                 {kLogDetail, "KOVRIN> EndVpi()"}}));
  EXPECT_EQ(g_ended, 1);
  EXPECT_TRUE(ClientRegistered());
  // After the end, CloseCom still releases this instance's own client and
  // tries its port again; it answers 0 whatever happens.
  SerialFaultFail(SerialCall::kCloseHandle);
  EXPECT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  EXPECT_TRUE(Held(device_)) << "the close failed again";
  EXPECT_FALSE(ClientRegistered());
  EXPECT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  EXPECT_FALSE(Held(device_));
  EXPECT_EQ(g_ended, 1);
}

// A start without a port, or whose port failed to open, registered a client
// all the same: the restart of the area releases it.
TEST_F(LifecycleTest, RestartReleasesTheClientOfAStartWithoutAPort) {
  for (const char* port : {"", "COM7"}) {
    ASSERT_EQ(ColdStartWith(StartParams(*port != '\0' ? 1 : 0, *port != '\0' ? port : "COM1")),
              *port != '\0' ? kResultTransport : kResultDone);
    ASSERT_EQ(ZelHostClientCount(), 1) << port;
    EXPECT_EQ(ColdStartWith(StartParams(1)), kResultDone) << port;
    EXPECT_EQ(ZelHostClientCount(), 1) << port << ": the first start's client is left";
    ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
    ASSERT_EQ(ZelHostClientCount(), 0);
  }
}

// An instance that outlives the one that ended the module can still give
// back its port and client, so that the port is not locked until the host
// process exits; nothing else runs.
TEST_F(LifecycleTest, AfterTheEndEndVpiAndCloseComReleaseTheirOwnInstance) {
  for (const uint32_t command : {kCmdEndVpi, kCmdCloseCom}) {
    ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
    g_ended = 1;
    EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultDone);
    EXPECT_TRUE(Held(device_)) << "no other handler runs";
    EXPECT_EQ(session_.Call(command, nullptr), kResultDone);
    EXPECT_FALSE(Held(device_)) << command;
    EXPECT_EQ(ZelHostClientCount(), 0) << command;
    EXPECT_EQ(instance_.portHandle, nullptr);
    g_ended = 0;
  }
}

// ---- ReOpenCom ----------------------------------------------------------------------------

TEST_F(LifecycleTest, ReOpenComOpensTheStoredPortWithTheReplyTimeoutAndTheClient) {
  ASSERT_EQ(ColdStartWith(StartParams(1, "COM1", 20, 19200)), kResultDone);
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  log_.Clear();
  EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultDone);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_TRUE(Reaches(device_));
  EXPECT_EQ(ReadTimeoutMs(), 200u) << "the instance's reply timeout, as ColdStart sets it";
  EXPECT_EQ(instance_.replyTimeout, 20u);
  EXPECT_EQ(ZelHostClientCount(), 1) << "a report fetch needs the client";
  EXPECT_TRUE(ClientRegistered());
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(instance_.portHandle, &view));
  EXPECT_EQ(view.baud, 19200u);
}

TEST_F(LifecycleTest, ReOpenComThatFailsChangesNothingAndSaysNothing) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  const HANDLE running = instance_.portHandle;
  log_.Clear();
  // While the instance itself holds the port, the exclusive open refuses.
  EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultTransport);
  EXPECT_EQ(instance_.portHandle, running);
  EXPECT_TRUE(Reaches(device_));

  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  HANDLE other = nullptr;
  ASSERT_EQ(OpenPort("COM1", instance_.portSettings, &other), PortResult::kDone);
  EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultTransport);
  EXPECT_EQ(instance_.portOpen, 0u);
  EXPECT_EQ(instance_.portHandle, nullptr);
  EXPECT_TRUE(log_.lines().empty());
  ClosePort(other);
}

TEST_F(LifecycleTest, ReOpenComOfAnInstanceThatNeverHadAPortFails) {
  // The port settings are still whatever the host's allocation held.
  ASSERT_EQ(ColdStartWith(StartParams(0)), kResultDone);
  EXPECT_EQ(session_.Call(kCmdReOpenCom, nullptr), kResultTransport);
  EXPECT_EQ(instance_.portHandle, nullptr);
  EXPECT_EQ(instance_.portOpen, 0u);
}

// ---- ChangeVpiParams -------------------------------------------------------------------------

struct ChangeCase {
  const char* what;
  std::vector<ChangeParams> before;  // on the open port, before CloseCom
  ChangeParams change;
  uint32_t replyTimeout;
  uint16_t baud;
  int16_t dataBits;
  int16_t stopBits;
  int16_t parity;
};

void PrintTo(const ChangeCase& c, std::ostream* out) { *out << c.what; }

class ChangeOfAClosedPortTest : public LifecycleTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeOfAClosedPortTest, OpensWithTheResultingSettingsAndTimeout) {
  const ChangeCase& c = GetParam();
  ASSERT_EQ(ColdStartWith(StartParams(1, "COM1", 20, 9600)), kResultDone);
  for (const ChangeParams& earlier : c.before) ASSERT_EQ(Change(earlier), kResultDone);
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  log_.Clear();
  EXPECT_EQ(Change(c.change), kResultDone);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_TRUE(Reaches(device_));
  EXPECT_EQ(instance_.replyTimeout, c.replyTimeout);
  EXPECT_EQ(ReadTimeoutMs(), c.replyTimeout * 10);
  EXPECT_EQ(instance_.portSettings.baud, c.baud);
  EXPECT_EQ(instance_.portSettings.dataBits, c.dataBits);
  EXPECT_EQ(instance_.portSettings.stopBits, c.stopBits);
  EXPECT_EQ(instance_.portSettings.parity, c.parity);
  EXPECT_EQ(instance_.portSettings.lineFlags, 0x0303);
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(instance_.portHandle, &view));
  EXPECT_EQ(view.baud, c.baud);
  EXPECT_EQ(view.twoStopBits, c.stopBits == TWOSTOPBITS);
  EXPECT_EQ(ZelHostClientCount(), 1) << "the client is registered again";
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangeOfAClosedPortTest,
    ::testing::Values(
        ChangeCase{"stored everything (-1, baud 0)", {}, ChangeTo("COM1", -1), 20, 9600, 8, 0, 0},
        ChangeCase{"timeout 0 keeps the stored one", {}, ChangeTo("COM1", 0), 20, 9600, 8, 0, 0},
        ChangeCase{"new timeout", {}, ChangeTo("COM1", 35), 35, 9600, 8, 0, 0},
        ChangeCase{"new line", {}, ChangeTo("COM1", -1, 19200, 7, 2, 2), 20, 19200, 7, 2, 2},
        ChangeCase{"baud above 32767 counts as nonzero",
                   {},
                   ChangeTo("COM1", 12, 38400, 8, 2, 4),
                   12,
                   38400,
                   8,
                   2,
                   4},
        ChangeCase{"baud 0 keeps all four", {}, ChangeTo("COM1", -1, 0, 5, 2, 3), 20, 9600, 8, 0, 0},
        // The device still holds the earlier handle's line: the same line
        // is taken again all the same.
        ChangeCase{"timeout 0 and baud 0 keep what an earlier change stored",
                   {ChangeTo("COM1", 25, 19200, 7, 2, 2)},
                   ChangeTo("COM1", 0, 0, 5, 2, 3),
                   25,
                   19200,
                   7,
                   2,
                   2}));

// The open port cannot be opened a second time: it is closed and opened
// again with the new settings, and the client stays.
TEST_F(LifecycleTest, ChangeNamingTheOpenPortReopensItWithTheNewSettings) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  log_.Clear();
  EXPECT_EQ(Change(ChangeTo("COM1", 30, 19200, 7, 2, 2)), kResultDone);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_TRUE(Reaches(device_));
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_TRUE(ClientRegistered());
  EXPECT_EQ(ZelHostClientCount(), 1);
  EXPECT_EQ(instance_.replyTimeout, 30u);
  EXPECT_EQ(ReadTimeoutMs(), 300u);
  SerialDeviceView view{};
  ASSERT_TRUE(SerialViewDevice(instance_.portHandle, &view));
  EXPECT_EQ(view.baud, 19200u);
  EXPECT_EQ(instance_.portSettings.baud, 19200);
  EXPECT_EQ(instance_.portSettings.dataBits, 7);
  EXPECT_EQ(instance_.portSettings.stopBits, 2);
  EXPECT_EQ(instance_.portSettings.parity, 2);
}

TEST_F(LifecycleTest, ChangeToAnotherPortClosesTheOldOneAndKeepsTheClient) {
  PtyDevice second;
  second.LinkAs(device_.comDir(), "com2");
  ScopedComDir comDir(device_.comDir().string());
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  log_.Clear();
  EXPECT_EQ(Change(ChangeTo("COM2", 25)), kResultDone);
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_FALSE(Held(device_));
  EXPECT_TRUE(Reaches(second));
  EXPECT_EQ(ZelHostClientCount(), 1);
  EXPECT_TRUE(ClientRegistered());
  EXPECT_EQ(instance_.portOpen, 1u);
  EXPECT_STREQ(instance_.portSettings.portName, "COM2");
  EXPECT_EQ(ReadTimeoutMs(), 250u);
}

TEST_F(LifecycleTest, ChangeComparesNamesCaseSensitively) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  EXPECT_EQ(Change(ChangeTo("com1", -1)), kResultDone) << "the old port was closed first";
  EXPECT_TRUE(Reaches(device_));
  EXPECT_EQ(ZelHostClientCount(), 1);
}

TEST_F(LifecycleTest, ChangeThatCannotOpenLogsAndKeepsThePreviousHandle) {
  ASSERT_EQ(ColdStartWith(StartParams(1)), kResultDone);
  ASSERT_EQ(session_.Call(kCmdCloseCom, nullptr), kResultDone);
  log_.Clear();
  EXPECT_EQ(Change(ChangeTo("COM7", -1)), kResultTransport);
  EXPECT_EQ(log_.lines(), Lines({{kLogMajor, kChangeFailed}}));
  EXPECT_EQ(instance_.portHandle, nullptr);
  EXPECT_EQ(instance_.portOpen, 0u);
  EXPECT_STREQ(instance_.portSettings.portName, "COM7");
}

}  // namespace
