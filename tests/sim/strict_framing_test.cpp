// Strict framing: the simulator frames requests by the silence of 3.5
// characters, as a real slave does, and answers nothing that is not one
// whole frame with a good CRC; the driver gets through against it.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "programs/far_end.h"
#include "sim/rtusim_options.h"
#include "sim/simulator.h"
#include "tests/sim/sim_bytes.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace simtest;

const Bytes kRead = HexCrc("01 03 00 05 00 01");
const Bytes kOtherRead = HexCrc("01 04 00 02 00 01");

struct Burst {
  Bytes bytes;
  int pauseAfterMs;  // silence before the next burst
};

struct FramingCase {
  const char* what;
  std::vector<Burst> bursts;
  size_t strictAnswers;  // answers with strict framing
  size_t looseAnswers;   // answers when frames are cut out by length
};

void PrintTo(const FramingCase& c, std::ostream* out) { *out << c.what; }

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes BadCrc(Bytes frame) {
  frame.back() ^= 0x5A;
  return frame;
}

class FramingTest : public ::testing::TestWithParam<std::tuple<FramingCase, bool>> {};

TEST_P(FramingTest, AnswersOnlyWholeFrames) {
  const FramingCase& c = std::get<0>(GetParam());
  const bool strict = std::get<1>(GetParam());
  sim::SimulatorOptions options;
  if (strict) options.framing = {9600, 10};
  sim::Simulator simulator(options);
  std::string error;
  ASSERT_TRUE(simulator.Start(&error)) << error;
  const int line = FarEndOpenDevice(simulator.devicePath().c_str());
  ASSERT_GE(line, 0);
  for (const Burst& burst : c.bursts) {
    ASSERT_TRUE(FarEndWrite(line, burst.bytes.data(), burst.bytes.size()));
    if (burst.pauseAfterMs > 0) SleepForMs(burst.pauseAfterMs);
  }
  uint8_t buffer[256];
  const size_t got = FarEndReadUntilIdle(line, buffer, sizeof buffer, 400, 100);
  const size_t answers = got / 7;  // each answer is 01 03|04 02 hi lo crc crc
  EXPECT_EQ(got % 7, 0u) << c.what;
  EXPECT_EQ(answers, strict ? c.strictAnswers : c.looseAnswers) << c.what;
  FarEndClose(line);
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, FramingTest,
    ::testing::Combine(
        ::testing::Values(
            FramingCase{"one request", {{kRead, 0}}, 1, 1},
            FramingCase{"a stray byte before it", {{Join(Hex("00"), kRead), 0}}, 0, 1},
            FramingCase{"a stray byte after it", {{Join(kRead, Hex("FF")), 0}}, 0, 1},
            FramingCase{"two requests in one write", {{Join(kRead, kOtherRead), 0}}, 0, 2},
            FramingCase{"a bad CRC", {{BadCrc(kRead), 0}}, 0, 0},
            FramingCase{"a stray byte, silence, the request", {{Hex("00"), 40}, {kRead, 0}}, 1, 1},
            FramingCase{"two requests with silence between", {{kRead, 40}, {kOtherRead, 0}}, 2, 2}),
        ::testing::Bool()));

// rtusim's options: strict framing comes with --emulate-timing unless turned
// off, and can be had alone.
TEST(RtusimFraming, FollowsTheOptions) {
  const struct {
    std::vector<const char*> args;
    int framingBaud;  // 0: loose
    int bits;
  } cases[] = {
      {{}, 0, 10},
      {{"--emulate-timing"}, 9600, 10},
      {{"--emulate-timing", "--baud", "19200", "--parity", "E"}, 19200, 11},
      {{"--emulate-timing", "--loose-framing"}, 0, 10},
      {{"--strict-framing", "--baud", "4800"}, 4800, 10},
      {{"--strict-framing", "--stop-bits", "2"}, 9600, 11},
  };
  for (const auto& c : cases) {
    std::vector<const char*> args = c.args;
    args.insert(args.begin(), "rtusim");
    sim::RtusimOptions options;
    std::string error;
    ASSERT_TRUE(sim::ParseRtusimArguments(static_cast<int>(args.size()), args.data(), &options, &error))
        << error;
    EXPECT_EQ(options.simulator.framing.baud, c.framingBaud) << args.size();
    if (c.framingBaud != 0) {
      EXPECT_EQ(options.simulator.framing.bitsPerCharacter, c.bits);
    }
  }
}

// The driver against a strictly framing device: its requests are answered,
// and a stray byte on the line just before a request costs one attempt,
// which the retry gets back.
class DriverStrictFramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorOptions options;
    options.line.link = (dir_.path() / "com1").string();
    options.framing = {9600, 10};
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator_->Start(&error)) << error;
    comDir_.emplace(dir_.path().string());
    ASSERT_EQ(host_.Start("COM1", 20), kResultDone);
  }
  void TearDown() override {
    host_.Close();
    simulator_.reset();
    comDir_.reset();
  }
  int32_t ReadRegister(uint16_t* value) {
    uint8_t values[16] = {};
    const int32_t result = host_.Read("0140006", kGateInt16, values);
    std::memcpy(value, values, sizeof *value);
    return result;
  }

  TempDir dir_;
  std::optional<ScopedComDir> comDir_;
  std::unique_ptr<sim::Simulator> simulator_;
  HostSession host_;
};

TEST_F(DriverStrictFramingTest, ReadsAndGetsPastAStrayByte) {
  LogCapture log;
  uint16_t value = 0;
  ASSERT_EQ(ReadRegister(&value), kResultDone);
  EXPECT_FALSE(log.Contains("KOVRIN> Recieve() timeout 1 (iRead=0)"));

  // Noise on the line right before the request. The silence the driver
  // keeps after the last reply may or may not set the request apart from
  // it: either the device drops the stray byte as a frame of its own, or it
  // sees one frame with a bad CRC and stays silent, and the next attempt is
  // answered.
  const uint8_t stray = 0x00;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(host_.instance().portHandle, &stray, 1, &written, nullptr));
  log.Clear();
  value = 0;
  ASSERT_EQ(ReadRegister(&value), kResultDone);
  EXPECT_LE(log.Count("KOVRIN> Recieve() timeout 1 (iRead=0)"), 1);
  // The simulator counts a request once its answer is out, so the driver
  // may have the answer a moment before the count moves.
  EXPECT_TRUE(simulator_->WaitForHandled(2, 2000));
  EXPECT_EQ(simulator_->HandledCount(), 2u);
  EXPECT_GE(simulator_->DiscardedBytes(), 1u) << "the stray byte";
}

}  // namespace
