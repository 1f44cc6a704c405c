// A driver instance started on the fake line (tests/support/fake_line.h), whose
// replies a test scripts before it runs a command: the reliability and the
// transfer tests' fixture.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "serial/line.h"
#include "tests/support/fake_line.h"
#include "tests/support/fake_line_session.h"
#include "tests/support/frame_crc.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

using Frame = std::vector<uint8_t>;

class FakeLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeLineInstall();
    FakeLineSkipSleeps(true);
    ASSERT_EQ(session_.StartOnFakeLine(), kResultDone);
    log_.Clear();
  }

  // The session removes the line when the test ends.
  void TearDown() override {
    session_.Close();
    g_ended = 0;
  }

  // The next request gets frame as its reply, in one piece.
  static void Reply(const Frame& frame) {
    FakeLineAddChunk(frame.data(), frame.size());
    FakeLineEndReply();
  }

  static Frame LastRequest() {
    const uint8_t* bytes = nullptr;
    const size_t size = FakeLineLastRequest(&bytes);
    return Frame(bytes, bytes + size);
  }

  TempDir dir_;  // no init file: the defaults
  LogCapture log_;
  FakeLineSession session_;
  VpiInstance& instance_ = session_.instance();
};
