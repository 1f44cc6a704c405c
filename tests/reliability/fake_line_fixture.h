// A driver instance started on the fake line (tests/support/fake_line.h), whose
// replies a test scripts before it runs a command.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "entry/instance.h"
#include "entry/vpi_main.h"
#include "serial/crc16.h"
#include "serial/line.h"
#include "tests/support/fake_line.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/start_params.h"

using Frame = std::vector<uint8_t>;

inline Frame Crc(Frame frame) {
  const uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

class FakeLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeLineInstall();
    FakeLineSkipSleeps(true);
    std::memset(static_cast<void*>(&instance_), 0xCD, sizeof instance_);
    ColdStartParams params = PortStart(kFakeLinePortName, 5);
    ASSERT_EQ(Call(kCmdColdStart, &params), kResultDone);
    log_.Clear();
  }

  void TearDown() override {
    Call(kCmdCloseCom, nullptr);
    FakeLineSkipSleeps(false);
    FakeLineRemove();
    g_ended = 0;
  }

  // The next request gets frame as its reply, in one piece.
  static void Reply(const Frame& frame) {
    FakeLineAddChunk(frame.data(), frame.size());
    FakeLineEndReply();
  }

  int32_t Call(uint32_t command, void* params) {
    VpiRequest request{&instance_, command, 1, 0, params};
    return VpiMain(&request);
  }

  static Frame LastRequest() {
    const uint8_t* bytes = nullptr;
    const size_t size = FakeLineLastRequest(&bytes);
    return Frame(bytes, bytes + size);
  }

  TempDir dir_;  // no init file: the defaults
  LogCapture log_;
  VpiInstance instance_;
};
