// Station demotion and the station-health gates over the fake line, on a
// clock the test moves: which requests go out, what the host is told, what
// the health gate reads and what the journal says, step by step.

#include <atomic>
#include <cstring>
#include <utility>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/fake_line_fixture.h"

using namespace kovrin;

namespace {

// The line's clock: still unless a step moves it (each reading a few
// microseconds on, so that no wait on it can last for ever).
std::atomic<int64_t> g_nowUs{1000000};
const LineOps* g_under = nullptr;

BOOL StillCounter(LARGE_INTEGER* count) {
  count->QuadPart = g_nowUs.fetch_add(10) + 10;
  return TRUE;
}
BOOL MicrosecondFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000;
  return TRUE;
}

enum class Device { kAnswers, kSilent, kBadCrc, kException };

struct Step {
  int station;  // 1 to 3
  Device device;
  int afterS;    // seconds the clock moves on before the step
  bool write;    // a write of the station's register, else a read
  int requests;  // requests that go out
  int32_t result;
  int state;         // the health gate's reading after the step
  const char* said;  // the level-32 line of the step, if any
};

struct DemotionCase {
  const char* what;
  const char* initFile;
  std::vector<Step> steps;
};

void PrintTo(const DemotionCase& c, std::ostream* out) { *out << c.what; }

class DemotionTest : public ::testing::TestWithParam<DemotionCase> {
 protected:
  void SetUp() override {
    if (GetParam().initFile[0] != '\0') dir_.Write("KOVRIN.INT", GetParam().initFile);
    FakeLineInstall();
    FakeLineSkipSleeps(true);
    g_under = &CurrentLine();
    clocked_ = *g_under;
    clocked_.counter = StillCounter;
    clocked_.frequency = MicrosecondFrequency;
    InstallLine(&clocked_);
    ASSERT_EQ(session_.StartOnFakeLine(), kResultDone);
    // As a host does, the gates are parsed before the first transfer.
    for (const char* gas : {"!S01", "!S02", "!S03"}) {
      ParseRequest parsed{};
      ASSERT_EQ(session_.Parse(gas, kGateInt16, &parsed), kResultDone);
    }
  }
  void TearDown() override {
    session_.Close();
    InstallLine(g_under);
    g_ended = 0;
  }

  static Frame Reply(int station, Device device, bool write) {
    const auto s = static_cast<uint8_t>(station);
    Frame frame = write ? WithCrc({s, 0x06, 0x00, 0x00, 0x00, 0x07}) : WithCrc({s, 0x03, 0x02, 0x00, 0x07});
    switch (device) {
      case Device::kAnswers:
        return frame;
      case Device::kSilent:
        return {};
      case Device::kBadCrc:
        frame.back() ^= 0xFF;
        return frame;
      case Device::kException:
        return WithCrc({s, static_cast<uint8_t>(write ? 0x86 : 0x83), 0x02});
    }
    return {};
  }

  int Health(int station) {
    const std::string gas = "!S0" + std::to_string(station);
    uint8_t values[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(session_.Read(gas.c_str(), kGateInt16, values), kResultDone);
    return values[2] | values[3] << 8;
  }

  TempDir dir_;
  LogCapture log_;
  FakeLineSession session_;
  LineOps clocked_{};
};

TEST_P(DemotionTest, StepByStep) {
  const std::vector<Step>& steps = GetParam().steps;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    SCOPED_TRACE("step " + std::to_string(i + 1));
    g_nowUs += static_cast<int64_t>(step.afterS) * 1000000;
    // As many replies as requests are to go out: one left over would
    // answer the next step.
    for (int r = 0; r < step.requests; ++r) {
      const Frame frame = Reply(step.station, step.device, step.write);
      if (!frame.empty()) FakeLineAddChunk(frame.data(), frame.size());
      FakeLineEndReply();
    }
    const std::string gas = "0" + std::to_string(step.station) + "40001";
    uint8_t values[4] = {0, 0, 7, 0};
    const int before = FakeLineRequestCount();
    log_.Clear();
    const int32_t result = step.write ? session_.Write(gas.c_str(), kGateInt16, values)
                                      : session_.Read(gas.c_str(), kGateInt16, values);
    EXPECT_EQ(result, step.result);
    EXPECT_EQ(FakeLineRequestCount() - before, step.requests);
    std::vector<std::string> said;
    for (const LogLine& line : log_.lines()) {
      if (line.level == 32 && line.text.rfind("KOVRIN> station ", 0) == 0) said.push_back(line.text);
    }
    EXPECT_EQ(said, step.said[0] != '\0' ? std::vector<std::string>{step.said} : std::vector<std::string>{});
    EXPECT_EQ(Health(step.station), step.state);
    EXPECT_EQ(FakeLineRequestCount() - before, step.requests) << "a health gate sends nothing";
  }
}

constexpr int32_t kDone = kResultDone;
constexpr int32_t kFailed = kResultFailed;
constexpr int32_t kNoReply = kResultTransport;
constexpr Device kAnswers = Device::kAnswers;
constexpr Device kSilent = Device::kSilent;
constexpr Device kBadCrc = Device::kBadCrc;
constexpr Device kException = Device::kException;
const char kTwoFor10[] = "DEMOTE = 2 , 10\n";
const char kDemoted10[] = "KOVRIN> station 1 demoted for 10 s";
const char kBack[] = "KOVRIN> station 1 answers again";

// Two silent reads of station 1 on a line that demotes after 2 for 10 s.
std::vector<Step> DemotedAt(std::vector<Step> then) {
  std::vector<Step> steps = {{1, kSilent, 0, false, 3, kNoReply, 1, ""},
                             {1, kSilent, 0, false, 3, kNoReply, 2, kDemoted10}};
  steps.insert(steps.end(), then.begin(), then.end());
  return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Stations, DemotionTest,
    ::testing::Values(
        DemotionCase{"without DEMOTE a silent station is asked every time (the gate still tells)",
                     "",
                     {{1, kSilent, 0, false, 3, kNoReply, 1, ""},
                      {1, kSilent, 0, false, 3, kNoReply, 1, ""},
                      {1, kSilent, 0, false, 3, kNoReply, 1, ""},
                      {1, kAnswers, 0, false, 1, kDone, 0, ""}}},
        DemotionCase{"demoted after N silent transactions, left out until the period ends", kTwoFor10,
                     DemotedAt({{1, kAnswers, 0, false, 0, kNoReply, 2, ""},
                                {1, kAnswers, 9, false, 0, kNoReply, 2, ""},
                                {1, kAnswers, 0, true, 0, kNoReply, 2, ""}})},
        DemotionCase{"a probe after the period: one attempt, and a reply promotes at once", kTwoFor10,
                     DemotedAt({{1, kAnswers, 10, false, 1, kDone, 0, kBack},
                                {1, kSilent, 0, false, 3, kNoReply, 1, ""},
                                {1, kAnswers, 0, false, 1, kDone, 0, ""}})},
        DemotionCase{"a silent probe doubles the period, up to 8 x S", kTwoFor10,
                     DemotedAt({{1, kSilent, 10, false, 1, kNoReply, 2, "KOVRIN> station 1 demoted for 20 s"},
                                {1, kSilent, 10, false, 0, kNoReply, 2, ""},
                                {1, kSilent, 10, false, 1, kNoReply, 2, "KOVRIN> station 1 demoted for 40 s"},
                                {1, kSilent, 40, false, 1, kNoReply, 2, "KOVRIN> station 1 demoted for 80 s"},
                                {1, kSilent, 80, false, 1, kNoReply, 2, "KOVRIN> station 1 demoted for 80 s"},
                                {1, kAnswers, 80, false, 1, kDone, 0, kBack},
                                {1, kSilent, 0, false, 3, kNoReply, 1, ""},
                                {1, kSilent, 0, false, 3, kNoReply, 2, kDemoted10}})},
        DemotionCase{"an exception to a probe promotes: the station is there", kTwoFor10,
                     DemotedAt({{1, kException, 10, false, 1, kFailed, 0, kBack}})},
        DemotionCase{"a garbled probe neither promotes nor doubles", kTwoFor10,
                     DemotedAt({{1, kBadCrc, 10, false, 1, kFailed, 2, ""},
                                {1, kAnswers, 9, false, 0, kNoReply, 2, ""},
                                {1, kAnswers, 1, false, 1, kDone, 0, kBack}})},
        DemotionCase{"a bad CRC proves the station alive: the silent run starts again",
                     kTwoFor10,
                     {{1, kSilent, 0, false, 3, kNoReply, 1, ""},
                      {1, kBadCrc, 0, false, 3, kFailed, 0, ""},
                      {1, kSilent, 0, false, 3, kNoReply, 1, ""},
                      {1, kException, 0, false, 3, kFailed, 0, ""},
                      {1, kSilent, 0, false, 3, kNoReply, 1, ""},
                      {1, kSilent, 0, false, 3, kNoReply, 2, kDemoted10}}},
        DemotionCase{"writes count as transactions, and a demoted station's writes send nothing",
                     "DEMOTE = 1 , 10\n",
                     {{1, kSilent, 0, true, 10, kNoReply, 2, kDemoted10},
                      {1, kAnswers, 0, true, 0, kNoReply, 2, ""},
                      {1, kAnswers, 10, true, 1, kDone, 0, kBack}}},
        DemotionCase{"two stations demoted at once; a third goes on",
                     "DEMOTE = 1 , 10\n",
                     {{1, kSilent, 0, false, 3, kNoReply, 2, kDemoted10},
                      {2, kSilent, 0, false, 3, kNoReply, 2, "KOVRIN> station 2 demoted for 10 s"},
                      {3, kAnswers, 0, false, 1, kDone, 0, ""},
                      {1, kAnswers, 0, false, 0, kNoReply, 2, ""},
                      {2, kAnswers, 0, false, 0, kNoReply, 2, ""},
                      {3, kAnswers, 0, false, 1, kDone, 0, ""},
                      {2, kAnswers, 10, false, 1, kDone, 0, "KOVRIN> station 2 answers again"},
                      {1, kAnswers, 0, false, 1, kDone, 0, kBack}}}));

// The health gate's address: "!S" and two digits in the instance's base,
// int16 only, never written, never a block.
struct HealthAddressCase {
  const char* initFile;
  const char* gas;
  int32_t gateType;
  int32_t result;
  int32_t plc;
};

class HealthAddressTest : public FakeLineTest {};

TEST_F(HealthAddressTest, ParseInEveryBase) {
  const HealthAddressCase cases[] = {
      {"", "!S01", kGateInt16, kResultDone, 1},
      {"", "!s47", kGateRegister, kResultDone, 47},
      {"", "!S99", kGateRegisterOrTrigger, kResultDone, 99},
      {"", "!S00", kGateInt16, kResultFailed, 0},
      {"", "!S1A", kGateInt16, kResultFailed, 0},
      {"", "!S1", kGateInt16, kResultFailed, 0},
      {"", "!S001", kGateInt16, kResultFailed, 0},
      {"", "!S01", kGateFloat, kResultFailed, 0},
      {"", "!S01", kGateDigital, kResultFailed, 0},
      {"", "!S01", kGateText, kResultFailed, 0},
      {"BUS = M , H\n", "!SF7", kGateInt16, kResultDone, 247},
      {"BUS = M , H\n", "!S10", kGateInt16, kResultDone, 16},
      {"BUS = M , H\n", "!Sf7", kGateInt16, kResultFailed, 0},
      {"BUS = J , L\n", "!S12", kGateInt16, kResultDone, 12},
      {"BUS = J , L\n", "!S0F", kGateInt16, kResultFailed, 0},
  };
  for (const HealthAddressCase& c : cases) {
    SCOPED_TRACE(std::string(c.initFile) + c.gas);
    session_.Close();
    dir_.Write("KOVRIN.INT", c.initFile);
    ASSERT_EQ(session_.StartOnFakeLine(), kResultDone);
    ParseRequest parsed{};
    EXPECT_EQ(session_.Parse(c.gas, c.gateType, &parsed), c.result);
    if (c.result == kResultDone) {
      EXPECT_EQ(parsed.plc, c.plc);
      EXPECT_EQ(parsed.memoryType, kMemStationHealth);
    }
    EXPECT_EQ(session_.Parse(c.gas, c.gateType, &parsed, 4), kResultFailed) << "never a block";
  }
}

TEST_F(HealthAddressTest, ReadSendsNothingWriteAndBlockAreRefused) {
  uint8_t values[8] = {};
  EXPECT_EQ(session_.Read("!S05", kGateInt16, values), kResultDone);
  EXPECT_EQ(values[2] | values[3] << 8, 0);
  EXPECT_EQ(session_.Write("!S05", kGateInt16, values), kResultFailed);
  EXPECT_TRUE(log_.Contains("KOVRIN> DoWrite() station 5: a station health gate is read-only"));
  // A host that sends a block transfer of the parsed gate all the same.
  ParseRequest parsed{};
  ASSERT_EQ(session_.Parse("!S05", kGateInt16, &parsed), kResultDone);
  GateTransfer block = HostSession::TransferFor(parsed, 2, values);
  EXPECT_EQ(session_.Call(kCmdBlockRead, &block), kResultFailed);
  EXPECT_EQ(session_.Call(kCmdBlockWrite, &block), kResultFailed);
  // A record spoilt after its parse is refused, its value area untouched.
  for (const auto& [width, bit] : {std::pair{32, -1}, std::pair{-1734829926, -1}, std::pair{16, 3}}) {
    GateTransfer spoilt = HostSession::TransferFor(parsed, 1, values);
    spoilt.width = width;
    spoilt.bit = bit;
    std::memset(values, 0xEE, sizeof values);
    EXPECT_EQ(session_.Call(kCmdSingleRead, &spoilt), kResultFailed) << width << " " << bit;
    EXPECT_EQ(values[0], 0xEE);
    EXPECT_EQ(values[2], 0xEE);
  }
  EXPECT_EQ(FakeLineRequestCount(), 0);
}

}  // namespace
