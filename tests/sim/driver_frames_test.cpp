// The driver's own frame exchange against the simulator: what the simulator
// serves has the lengths and layout the driver reads.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "entry/handlers.h"
#include "host_interface/instance.h"
#include "serial/frame.h"
#include "transfer/exchange.h"
#include "sim/simulator.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

using namespace kovrin;

namespace {

class DriverFramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorOptions options;
    options.stations = {1, 5};
    options.line.link = (dir_.path() / "com1").string();
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator_->Start(&error)) << error;
    comDir_.emplace(dir_.path().string());
    ASSERT_EQ(host_.Start("COM1", 20), kResultDone);  // 200 ms
  }
  void TearDown() override {
    host_.Close();
    comDir_.reset();
  }

  // Sends the request as the driver does and reads the answer.
  FrameResult Exchange(std::vector<uint8_t> request, int memoryType, int* length) {
    transfer_.plc = request[0];
    transfer_.memoryType = memoryType;
    std::memcpy(instance_.txBuffer, request.data(), request.size());
    EXPECT_EQ(SendFrame(FrameLineOf(instance_), instance_.txBuffer, static_cast<int>(request.size())),
              SendResult::kSent);
    const ExpectedReply expected =
        ExpectedReplyFor(&transfer_, instance_.txBuffer, instance_.writeInProgress == 1);
    return ReceiveFrame(instance_.portHandle, expected, instance_.rxBuffer, length);
  }

  TempDir dir_;
  std::optional<ScopedComDir> comDir_;
  LogCapture log_;
  std::unique_ptr<sim::Simulator> simulator_;
  HostSession host_;
  VpiInstance& instance_ = host_.instance();
  GateTransfer transfer_{};
};

TEST_F(DriverFramesTest, ReadReply) {
  int length = 0;
  ASSERT_EQ(Exchange({0x01, 0x03, 0x00, 0x10, 0x00, 0x02}, kMemHoldingRegisters, &length),
            FrameResult::kDone);
  EXPECT_EQ(length, 9);
  EXPECT_TRUE(FrameCrcMatches(instance_.rxBuffer, length));
  EXPECT_EQ(instance_.rxBuffer[4], 0x10);
  EXPECT_EQ(instance_.rxBuffer[6], 0x11);
}

TEST_F(DriverFramesTest, WriteEcho) {
  instance_.writeInProgress = 1;
  int length = 0;
  ASSERT_EQ(Exchange({0x05, 0x10, 0x00, 0x64, 0x00, 0x02, 0x04, 0x11, 0x22, 0x33, 0x44}, kMemHoldingRegisters,
                     &length),
            FrameResult::kDone);
  instance_.writeInProgress = 0;
  EXPECT_EQ(length, 8);
  EXPECT_TRUE(FrameCrcMatches(instance_.rxBuffer, length));
  EXPECT_EQ(simulator_->Get(5, sim::Area::kHoldingRegister, 101), 0x3344);
}

TEST_F(DriverFramesTest, ReportPacket) {
  int length = 0;
  // Report 16 of plc 5, packet 0: 05 41 23 F8 00 00.
  ASSERT_EQ(Exchange({0x05, 0x41, 0x23, 0xF8, 0x00, 0x00}, 65, &length), FrameResult::kDone);
  EXPECT_EQ(length, 136);
  EXPECT_TRUE(FrameCrcMatches(instance_.rxBuffer, length));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(instance_.rxBuffer) + 6, 19), "S005 R9208 LINE 001");
}

TEST_F(DriverFramesTest, ExceptionAnswer) {
  simulator_->QueueFaults({{sim::FaultKind::kException, 2}});
  int length = 0;
  EXPECT_EQ(Exchange({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, kMemHoldingRegisters, &length),
            FrameResult::kRefused);
  EXPECT_EQ(length, 5);
}

}  // namespace
