// Every read, write and report kind against the device simulator, with its
// fault script driving each retry path.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <thread>
#include <memory>
#include <optional>

#include "host_interface/host_library.h"
#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "host/zelpro/zelpro_host.h"
#include "sim/simulator.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

class SimulatorTransfer : public ::testing::Test {
 protected:
  void Start(
      const std::string& initFile = "",
      const std::function<void(sim::SimulatorOptions*)>& more = [](sim::SimulatorOptions*) {}) {
    if (!initFile.empty()) dir_.Write("KOVRIN.INT", initFile);
    sim::SimulatorOptions options;
    options.stations = {1, 2};
    options.line.link = (dir_.path() / "com1").string();
    for (const char* preset :
         {"1:hr:100=float:21.5", "1:hr:200=ulong:0x11223344", "1:ir:10=float-swap:2.5"}) {
      std::string error;
      ASSERT_TRUE(sim::ParsePreset(preset, "", &options.presets, &error)) << error;
    }
    more(&options);
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator_->Start(&error)) << error;
    comDir_.emplace(dir_.path().string());
    // ColdStart must not count on a zeroed area.
    std::memset(&session_.instance(), 0xCD, sizeof(VpiInstance));
    ASSERT_EQ(session_.Start("COM1", 5), kResultDone);
    log_.Clear();
  }

  void TearDown() override {
    session_.Close();
    simulator_.reset();
    comDir_.reset();
    ZelHostClearGates();
  }

  // Parses the address string as the host does, then runs the transfer.
  int32_t Gate(uint32_t command, const char* gas, int32_t gateType, int32_t count, void* values) {
    const bool block = command == kCmdBlockRead || command == kCmdBlockWrite;
    ParseRequest parsed;
    EXPECT_EQ(session_.Parse(gas, gateType, &parsed, block ? count : 0), kResultDone) << gas;
    GateTransfer t = HostSession::TransferFor(parsed, block ? count : 1, values);
    return session_.Call(command, &t);
  }

  void Faults(const char* list) {
    std::vector<sim::FaultAction> actions;
    std::string error;
    ASSERT_TRUE(sim::ParseFaultList(list, &actions, &error)) << error;
    simulator_->QueueFaults(actions);
  }

  size_t Requests() const { return simulator_->Requests().size(); }

  static uint16_t Word(const uint8_t* v) { return static_cast<uint16_t>(v[0] | v[1] << 8); }
  static uint32_t Long(const uint8_t* v) {
    return static_cast<uint32_t>(Word(v)) | static_cast<uint32_t>(Word(v + 2)) << 16;
  }
  static float Float(const uint8_t* v) {
    const uint32_t bits = Long(v);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }

  TempDir dir_;
  LogCapture log_;
  std::unique_ptr<sim::Simulator> simulator_;
  std::optional<ScopedComDir> comDir_;
  HostSession session_;
};

TEST_F(SimulatorTransfer, ReadsShowThePresetPattern) {
  Start("BUS = M , H\nFLOATSWAP = NO\n");
  uint8_t v[64];
  ASSERT_EQ(Gate(kCmdSingleRead, "0141234", 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v + 2), 0x1233);  // Modbus address 0x1234 is register 0x1233
  ASSERT_EQ(Gate(kCmdSingleRead, "01L1234", 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v + 2), 0x33);
  ASSERT_EQ(Gate(kCmdSingleRead, "01H1234", 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v + 2), 0x12);
  ASSERT_EQ(Gate(kCmdSingleRead, "013000F", 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v + 2), 0x000E ^ 0x5555);
  ASSERT_EQ(Gate(kCmdSingleRead, "0100004", 6, 1, v), kResultDone);  // coil 3
  EXPECT_EQ(Word(v + 2), 1);
  ASSERT_EQ(Gate(kCmdSingleRead, "0110004", 6, 1, v), kResultDone);  // input 3
  EXPECT_EQ(Word(v + 2), 1);
  ASSERT_EQ(Gate(kCmdSingleRead, "01400104", 6, 1, v), kResultDone);  // bit 4 of register 15
  EXPECT_EQ(Word(v + 2), 0);
  ASSERT_EQ(Gate(kCmdSingleRead, "01400041", 6, 1, v), kResultDone);  // bit 1 of register 3
  EXPECT_EQ(Word(v + 2), 1);
  ASSERT_EQ(Gate(kCmdSingleRead, "0170065", 3, 1, v), kResultDone);  // registers 100, 101
  EXPECT_EQ(Float(v), 21.5f);
  ASSERT_EQ(Gate(kCmdSingleRead, "01800C9", 4, 1, v), kResultDone);  // registers 200, 201
  EXPECT_EQ(Long(v), 0x11223344u);
  ASSERT_EQ(Gate(kCmdBlockRead, "0140001", 2, 30, v), kResultDone);
  EXPECT_EQ(Word(v + 2 * 29), 29);
  ASSERT_EQ(Gate(kCmdBlockRead, "0100001", 6, 12, v), kResultDone);
  EXPECT_EQ(v[0], 0x49);  // coils 0..7: 1 0 0 1 0 0 1 0
}

TEST_F(SimulatorTransfer, SwappedWordsAndLongAddresses) {
  Start("FLOATSWAP = YES\nLONGADDR = YES\n");
  uint8_t v[8];
  ASSERT_EQ(Gate(kCmdSingleRead, "0150011", 3, 1, v), kResultDone);  // input registers 10, 11
  EXPECT_EQ(Float(v), 2.5f);
  ASSERT_EQ(Gate(kCmdSingleRead, "0180004", 4, 1, v), kResultDone);  // registers 3, 4
  EXPECT_EQ(Long(v), 0x00030004u);
}

TEST_F(SimulatorTransfer, WritesLandInTheStation) {
  Start("SWAP = YES\n");
  uint8_t v[32] = {};
  v[2] = 0x34;
  v[3] = 0x12;
  ASSERT_EQ(Gate(kCmdSingleWrite, "0140011", 2, 1, v), kResultDone);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 10), 0x1234);
  v[2] = 1;
  ASSERT_EQ(Gate(kCmdSingleWrite, "0100011", 6, 1, v), kResultDone);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kCoil, 10), 1);
  ASSERT_EQ(Gate(kCmdSingleWrite, "0140012F", 6, 1, v), kResultDone);  // register 11 holds 11
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 11), 0x800B);
  const uint8_t value[4] = {0x44, 0x33, 0x22, 0x11};
  std::memcpy(v, value, 4);
  ASSERT_EQ(Gate(kCmdSingleWrite, "0180021", 4, 1, v), kResultDone);  // swapped: low word first
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 20), 0x3344);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 21), 0x1122);
  const uint8_t block[6] = {1, 0, 2, 0, 3, 0};
  ASSERT_EQ(Gate(kCmdBlockWrite, "0140031", 2, 3, const_cast<uint8_t*>(block)), kResultDone);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 32), 3);
}

// Reads: 3 counted attempts plus 9 after wrong replies. Writes: 10 attempts.
TEST_F(SimulatorTransfer, RetryPaths) {
  Start();
  struct Case {
    uint32_t command;
    const char* faults;
    int32_t result;
    size_t requests;
  };
  const Case cases[] = {
      {kCmdSingleRead, "silent*3", kResultTransport, 3},
      {kCmdSingleRead, "wrong-slave*10", kResultFailed, 10},
      {kCmdSingleRead, "bad-crc*2", kResultDone, 3},
      {kCmdSingleRead, "exception:1*3", kResultFailed, 3},
      {kCmdSingleRead, "exception:4*3", kResultTransport, 3},
      {kCmdSingleRead, "garbage,truncate:4,split:2:5", kResultDone, 3},
      {kCmdSingleRead, "wrong-function*4", kResultDone, 5},
      {kCmdSingleWrite, "exception:2*10", kResultFailed, 10},
      {kCmdSingleWrite, "exception:4*10", kResultTransport, 10},
      {kCmdSingleWrite, "silent*10", kResultTransport, 10},
      {kCmdSingleWrite, "bad-crc*9", kResultDone, 10},
  };
  for (const Case& c : cases) {
    simulator_->ClearRequests();
    Faults(c.faults);
    uint8_t v[4] = {0xAA, 0xAA, 0x05, 0x00};
    EXPECT_EQ(Gate(c.command, "0140011", 2, 1, v), c.result) << c.faults;
    EXPECT_EQ(Requests(), c.requests) << c.faults;
    EXPECT_EQ(session_.instance().writeInProgress, 0u);
    if (c.command == kCmdSingleRead) {
      // A failed read leaves the value area as it was.
      EXPECT_EQ(Word(v + 2), c.result == kResultDone ? 10 : 5) << c.faults;
    }
    simulator_->ClearFaults();
  }
}

TEST_F(SimulatorTransfer, ReportsOfEveryShape) {
  Start();
  for (const char* a : {"R0101001", "R0101002"}) ZelHostAddGate(a);
  struct Case {
    const char* report;
    int32_t result;
    size_t packets;
    std::string line1;
  };
  const Case cases[] = {
      {"empty", kResultDone, 1, ""},
      {"exact80", kResultDone, 1, "*"},
      {"nul", kResultDone, 1, "BEFORE NUL"},
      {"full8192", kResultFailed, 64, ""},
  };
  for (const Case& c : cases) {
    std::string error;
    sim::ReportText text;
    ASSERT_TRUE(sim::SpecialReport(c.report, &text));
    simulator_->SetReport(1, 1, text);
    simulator_->ClearRequests();
    uint8_t v[4] = {0, 0, 1, 0};
    EXPECT_EQ(Gate(kCmdSingleWrite, "!R01", 0, 1, v), c.result) << c.report;
    EXPECT_EQ(Requests(), c.packets) << c.report;
    if (c.result != kResultDone) continue;
    char line[128];
    ZelHostGateText("R0101001", line, sizeof line);
    if (c.line1 == "*") {
      EXPECT_EQ(std::strlen(line), 80u);
    } else {
      EXPECT_EQ(std::string(line), c.line1) << c.report;
    }
  }
}

// An echoing line on a pseudo-terminal, as a 2-wire adapter makes it: what
// each ECHO setting makes of each echo the simulator hands back.
struct EchoCase {
  const char* initFile;
  sim::EchoMode echo;
  int32_t result;  // of each of three reads
  int learnt;      // "line echoes" lines
};

void PrintTo(const EchoCase& c, std::ostream* out) { *out << c.initFile << sim::EchoModeName(c.echo); }

class SimulatorEcho : public SimulatorTransfer, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(SimulatorEcho, ThreeReads) {
  const EchoCase& c = GetParam();
  Start(c.initFile, [&](sim::SimulatorOptions* options) { options->echo = c.echo; });
  for (int i = 0; i < 3; ++i) {
    uint8_t v[4] = {};
    EXPECT_EQ(Gate(kCmdSingleRead, "0140011", kGateInt16, 1, v), c.result);
    if (c.result == kResultDone) {
      EXPECT_EQ(v[2], 10);
    }
  }
  EXPECT_EQ(log_.Count("KOVRIN> line echoes its requests: echo removed from the replies"), c.learnt);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SimulatorEcho,
    ::testing::Values(EchoCase{"ECHO = YES\n", sim::EchoMode::kFull, kResultDone, 0},
                      EchoCase{"ECHO = AUTO\n", sim::EchoMode::kFull, kResultDone, 1},
                      EchoCase{"ECHO = AUTO\n", sim::EchoMode::kNone, kResultDone, 0},
                      EchoCase{"ECHO = NO\n", sim::EchoMode::kNone, kResultDone, 0},
                      EchoCase{"ECHO = YES\n", sim::EchoMode::kPartial, kResultTransport, 0},
                      EchoCase{"ECHO = YES\n", sim::EchoMode::kCorrupt, kResultTransport, 0},
                      EchoCase{"ECHO = YES\n", sim::EchoMode::kNone, kResultTransport, 0}));

// A station powered off on a line of two: demoted after one silent
// transaction, left out while the other goes on, probed once its second is
// over, and back as soon as it answers.
TEST_F(SimulatorTransfer, SilentStationDemotedProbedAndBack) {
  Start("DEMOTE = 1 , 1\n", [](sim::SimulatorOptions* options) { options->silent = {{2, 0, 1.5}}; });
  const auto started = std::chrono::steady_clock::now();
  auto health = [this] {
    uint8_t v[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Gate(kCmdSingleRead, "!S02", kGateInt16, 1, v), kResultDone);
    return v[2] | v[3] << 8;
  };
  uint8_t v[4] = {};
  EXPECT_EQ(Gate(kCmdSingleRead, "0240011", kGateInt16, 1, v), kResultTransport);
  EXPECT_EQ(Requests(), 3u);
  EXPECT_EQ(health(), 2);
  EXPECT_TRUE(log_.Contains("KOVRIN> station 2 demoted for 1 s"));
  simulator_->ClearRequests();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Gate(kCmdSingleRead, "0240011", kGateInt16, 1, v), kResultTransport);
    EXPECT_EQ(Gate(kCmdSingleRead, "0140011", kGateInt16, 1, v), kResultDone);
  }
  // Nothing went to station 2 unless a probe fell due on a slow machine.
  if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(900)) {
    EXPECT_EQ(Requests(), 5u);
  }
  // Past its silent window and its period: the next request is a probe,
  // answered, and the station is back.
  std::this_thread::sleep_until(started + std::chrono::milliseconds(2100));
  simulator_->ClearRequests();
  EXPECT_EQ(Gate(kCmdSingleRead, "0240011", kGateInt16, 1, v), kResultDone);
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(health(), 0);
  EXPECT_TRUE(log_.Contains("KOVRIN> station 2 answers again"));
}

}  // namespace
