// A device that goes away mid-poll and comes back behind the same name (a
// USB adapter unplugged and plugged in again; here the simulator's line
// closed and created anew): transfers fail promptly while it is away, and
// ReOpenCom brings the instance back without leaving a descriptor behind.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "sim/simulator.h"
#include "tests/support/host_session.h"
#include "tests/support/pty_device.h"
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
    comDir_.emplace(dir_.path().string());
    Plug();
    ASSERT_EQ(host_.Start("COM1", 100), kResultDone);  // 1 s: a wait would show
  }
  void TearDown() override {
    host_.Close();
    simulator_.reset();
    comDir_.reset();
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

  // Reads holding register 40001 of station 1 (the preset pattern holds 0).
  int32_t Read() {
    uint8_t values[16] = {};
    return host_.Read("0140001", kGateInt16, values);
  }

  TempDir dir_;
  std::optional<ScopedComDir> comDir_;
  std::unique_ptr<sim::Simulator> simulator_;
  HostSession host_;
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
    ASSERT_EQ(host_.Call(kCmdReOpenCom, nullptr), kResultDone) << "cycle " << cycle;
    const Descriptors now = CountDescriptors();
    EXPECT_EQ(now.ofGoneDevices, 0) << "cycle " << cycle;
    ASSERT_EQ(now.open, openAtStart) << "cycle " << cycle << ": descriptors pile up";
    ASSERT_EQ(Read(), kResultDone) << "cycle " << cycle;
  }
}

}  // namespace
