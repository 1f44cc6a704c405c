// A device that goes away mid-poll and comes back behind the same name (a
// USB adapter unplugged and plugged in again; here the simulator's line
// closed and created anew): transfers fail promptly while it is away, and
// ReOpenCom brings the instance back without leaving a descriptor behind.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "entry/instance.h"
#include "entry/vpi_main.h"
#include "sim/simulator.h"
#include "tests/support/start_params.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

// This process's descriptors, and those of them whose device is gone (the
// kernel shows a removed device as "path (deleted)").
struct Descriptors {
  int open = 0;
  int ofGoneDevices = 0;
};

Descriptors CountDescriptors() {
  Descriptors d;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
    ++d.open;
    if (target.rfind("/dev/", 0) == 0 && target.find(" (deleted)") != std::string::npos) ++d.ofGoneDevices;
  }
  return d;
}

class DeviceAwayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VPI_COM_DIR", dir_.path().c_str(), 1);
    Plug();
    std::memset(&instance_, 0, sizeof instance_);
    ColdStartParams params = PortStart("COM1", 100);  // 1 s: a wait would show
    ASSERT_EQ(Call(kCmdColdStart, &params), kResultDone);
  }
  void TearDown() override {
    Call(kCmdCloseCom, nullptr);
    simulator_.reset();
    unsetenv("VPI_COM_DIR");
  }

  // A new line behind dir/com1.
  void Plug() {
    sim::SimulatorOptions options;
    options.line.link = (dir_.path() / "com1").string();
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator_->Start(&error)) << error;
  }
  void Unplug() { simulator_.reset(); }

  int32_t Call(uint32_t command, void* params) {
    VpiRequest request{&instance_, command, 1, 0, params};
    return VpiMain(&request);
  }
  // Reads holding register 40001 of station 1 (the preset pattern holds 0).
  int32_t Read() {
    ParseRequest parse{};
    parse.gas = "0140001";
    parse.gateType = 2;
    EXPECT_EQ(Call(kCmdSingleAddressParser, &parse), kResultDone);
    GateTransfer t{};
    t.gas = parse.gas;
    t.plc = parse.plc;
    t.memoryType = parse.memoryType;
    t.address = parse.address;
    t.bit = parse.bit;
    t.width = parse.width;
    t.gateType = 2;
    t.count = 1;
    uint8_t values[16] = {};
    t.values = values;
    return Call(kCmdSingleRead, &t);
  }

  TempDir dir_;
  std::unique_ptr<sim::Simulator> simulator_;
  VpiInstance instance_;
};

TEST_F(DeviceAwayTest, TransfersFailPromptlyUntilReOpenComHundredTimesOver) {
  ASSERT_EQ(Read(), kResultDone);
  const int openAtStart = CountDescriptors().open;
  for (int cycle = 0; cycle < 100; ++cycle) {
    Unplug();
    for (int attempt = 0; attempt < 2; ++attempt) {
      const auto start = Clock::now();
      EXPECT_EQ(Read(), kResultTransport) << "cycle " << cycle;
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      // Three attempts of a 1 s reply timeout would take 3 s.
      EXPECT_LT(ms, 900) << "cycle " << cycle << ": the read waited for a device that is gone";
    }
    Plug();
    ASSERT_EQ(Call(kCmdReOpenCom, nullptr), kResultDone) << "cycle " << cycle;
    const Descriptors now = CountDescriptors();
    EXPECT_EQ(now.ofGoneDevices, 0) << "cycle " << cycle;
    ASSERT_EQ(now.open, openAtStart) << "cycle " << cycle << ": descriptors pile up";
    ASSERT_EQ(Read(), kResultDone) << "cycle " << cycle;
  }
}

}  // namespace
