// One frame each way on a real pseudo-terminal.

#include <gtest/gtest.h>

#include <cstring>

#include "entry/handlers.h"
#include "entry/instance.h"
#include "serial/frame.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"

namespace {

using Bytes = std::vector<uint8_t>;

class FrameExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&instance_, 0xCD, sizeof instance_);
    ColdStartParams params{};
    std::strncpy(params.portName, device_.portName(), sizeof params.portName);
    params.portInUse = 1;
    params.replyTimeout = 20;  // 200 ms
    params.baud = 9600;
    params.dataBits = 8;
    VpiRequest request{&instance_, kCmdColdStart, 1, 0, &params};
    ASSERT_EQ(ColdStart(&request), kResultDone);
    transfer_.plc = 1;
    transfer_.memoryType = kMemHoldingRegisters;
  }
  void TearDown() override {
    VpiRequest request{&instance_, kCmdCloseCom, 1, 0, nullptr};
    CloseCom(&request);
  }

  int Send(const Bytes& request) {
    std::memcpy(instance_.txBuffer, request.data(), request.size());
    return SendFrame(&instance_, instance_.txBuffer, static_cast<int>(request.size()));
  }

  PtyDevice device_;
  LogCapture log_;
  VpiInstance instance_;
  GateTransfer transfer_{};
};

TEST_F(FrameExchangeTest, RequestGoesOutWithCrc) {
  ASSERT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 0);
  EXPECT_EQ(device_.ReceiveExactly(8), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
}

TEST_F(FrameExchangeTest, ReadReplyIsReadWhole) {
  ASSERT_EQ(Send({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 0);
  device_.ReceiveExactly(8);
  device_.Send({0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B});
  int length = -1;
  EXPECT_EQ(ReceiveFrame(&transfer_, &instance_, instance_.rxBuffer, &length), kReceiveDone);
  EXPECT_EQ(length, 7);
  EXPECT_TRUE(FrameCrcMatches(instance_.rxBuffer, length));
}

}  // namespace
