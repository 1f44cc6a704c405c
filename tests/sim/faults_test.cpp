// Fault actions: their text form, the answers they produce, the random mode
// and the wire timing; silent windows and the adapter's echo.

#include "sim/faults.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/sim/sim_bytes.h"

namespace {

using namespace simtest;
using sim::FaultAction;
using sim::FaultKind;

const Bytes kRequest = HexCrc("07 03 00 00 00 01");
const Bytes kAnswer = Hex("07 03 02 00 00");  // the station's answer, no CRC
const Bytes kFrame = HexCrc("07 03 02 00 00");

Bytes CrcInverted(Bytes frame) {
  frame[frame.size() - 2] ^= 0xFF;
  frame[frame.size() - 1] ^= 0xFF;
  return frame;
}

struct PlanCase {
  const char* action;
  std::vector<Bytes> chunks;  // what goes back, piece by piece
  std::vector<int> pausesMs;  // before each piece
};

const PlanCase kPlanCases[] = {
    {"correct", {HexCrc("07 03 02 00 00")}, {0}},
    {"silent", {}, {}},
    {"wrong-slave", {HexCrc("08 03 02 00 00")}, {0}},
    {"wrong-slave:9", {HexCrc("09 03 02 00 00")}, {0}},
    {"wrong-function", {HexCrc("07 04 02 00 00")}, {0}},
    {"wrong-function:65", {HexCrc("07 41 02 00 00")}, {0}},
    {"bad-crc", {CrcInverted(kFrame)}, {0}},
    {"exception:1", {HexCrc("07 83 01")}, {0}},
    {"exception:8", {HexCrc("07 83 08")}, {0}},
    {"exception:0", {HexCrc("07 83 00")}, {0}},
    {"exception:200", {HexCrc("07 83 C8")}, {0}},
    {"truncate:3", {Hex("07 03 02")}, {0}},
    {"truncate:0", {Bytes{}}, {0}},
    {"truncate:99", {HexCrc("07 03 02 00 00")}, {0}},
    {"split:3:40", {Hex("07 03 02"), Bytes{0x00, 0x00, kFrame[5]}, Bytes{kFrame[6]}}, {0, 40, 40}},
    {"delay:250", {HexCrc("07 03 02 00 00")}, {250}},
    {"garbage", {Concat(Hex("FF FE FD"), HexCrc("07 03 02 00 00"))}, {0}},
    {"garbage:10", {Concat(Hex("FF FE FD FC FB FA F9 F8 FF FE"), HexCrc("07 03 02 00 00"))}, {0}},
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.action; }

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, ShapesTheAnswer) {
  const PlanCase& c = GetParam();
  FaultAction action;
  std::string error;
  ASSERT_TRUE(sim::ParseFault(c.action, &action, &error)) << error;
  const std::vector<sim::Chunk> chunks = sim::PlanAnswer(kRequest, kAnswer, action, {});
  ASSERT_EQ(chunks.size(), c.chunks.size());
  for (size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].bytes, c.chunks[i]) << "piece " << i;
    EXPECT_EQ(chunks[i].pause, std::chrono::milliseconds{c.pausesMs[i]}) << "piece " << i;
  }
  EXPECT_EQ(sim::FormatFault(action), c.action);
}

INSTANTIATE_TEST_SUITE_P(Actions, PlanTest, ::testing::ValuesIn(kPlanCases), [](const auto& info) {
  std::string name = info.param.action;
  for (char& ch : name)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(PlanTest, WrongFunctionKeepsTheExceptionBit) {
  const std::vector<sim::Chunk> chunks =
      sim::PlanAnswer(kRequest, Hex("07 83 02"), FaultAction{FaultKind::kWrongFunction}, {});
  EXPECT_EQ(chunks.at(0).bytes, HexCrc("07 84 02"));
}

TEST(PlanTest, WrongSlaveWrapsAfter247) {
  const std::vector<sim::Chunk> chunks = sim::PlanAnswer(HexCrc("F7 03 00 00 00 01"), Hex("F7 03 02 00 00"),
                                                         FaultAction{FaultKind::kWrongSlave}, {});
  EXPECT_EQ(chunks.at(0).bytes[0], 1);
}

TEST(FaultTextTest, RejectsBadActions) {
  for (const char* bad : {"", "loud", "exception", "exception:256", "truncate", "split:3", "split:0:5",
                          "delay:-1", "bad-crc:1", "garbage:0", "delay:x"}) {
    FaultAction action;
    std::string error;
    EXPECT_FALSE(sim::ParseFault(bad, &action, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(FaultTextTest, ListsWithRepeats) {
  std::vector<FaultAction> actions;
  std::string error;
  ASSERT_TRUE(sim::ParseFaultList("silent*2, bad-crc, exception:4", &actions, &error)) << error;
  ASSERT_EQ(actions.size(), 4u);
  EXPECT_EQ(actions[0].kind, FaultKind::kSilent);
  EXPECT_EQ(actions[1].kind, FaultKind::kSilent);
  EXPECT_EQ(actions[2].kind, FaultKind::kBadCrc);
  EXPECT_EQ(actions[3], (FaultAction{FaultKind::kException, 4}));
  EXPECT_FALSE(sim::ParseFaultList("silent*0", &actions, &error));
  EXPECT_FALSE(sim::ParseFaultList("silent,,bad-crc", &actions, &error));
}

TEST(FaultPlanTest, ScriptFirstThenRandomThenCorrect) {
  sim::FaultPlan plan;
  plan.Queue({FaultAction{FaultKind::kSilent}, FaultAction{FaultKind::kDelay, 5}});
  EXPECT_EQ(plan.Next().kind, FaultKind::kSilent);
  EXPECT_EQ(plan.Next(), (FaultAction{FaultKind::kDelay, 5}));
  EXPECT_EQ(plan.Next().kind, FaultKind::kCorrect);
  plan.SetRandom(1, {{FaultAction{FaultKind::kBadCrc}, 1.0}});
  plan.Queue({FaultAction{FaultKind::kSilent}});
  EXPECT_EQ(plan.Next().kind, FaultKind::kSilent);
  EXPECT_EQ(plan.Next().kind, FaultKind::kBadCrc);
}

TEST(FaultPlanTest, RandomModeIsSeededAndKeepsItsProportions) {
  std::vector<sim::RandomFault> faults;
  std::string error;
  ASSERT_TRUE(sim::ParseRandomFaults("silent=0.2,delay:10=0.1", &faults, &error)) << error;
  auto draw = [&](uint32_t seed) {
    sim::FaultPlan plan;
    plan.SetRandom(seed, faults);
    std::vector<FaultKind> kinds;
    for (int i = 0; i < 10000; ++i) kinds.push_back(plan.Next().kind);
    return kinds;
  };
  const std::vector<FaultKind> first = draw(42);
  EXPECT_EQ(first, draw(42));
  EXPECT_NE(first, draw(43));
  const auto silent = std::count(first.begin(), first.end(), FaultKind::kSilent);
  const auto delay = std::count(first.begin(), first.end(), FaultKind::kDelay);
  EXPECT_NEAR(silent, 2000, 250);
  EXPECT_NEAR(delay, 1000, 200);
  EXPECT_FALSE(sim::ParseRandomFaults("silent=0.7,bad-crc=0.4", &faults, &error));
  EXPECT_FALSE(sim::ParseRandomFaults("silent", &faults, &error));
  EXPECT_FALSE(sim::ParseRandomFaults("silent=2", &faults, &error));
}

TEST(WireTimingTest, CharacterTimesAndSilentInterval) {
  const sim::WireTiming at9600{9600, 10};
  EXPECT_EQ(sim::WireTime(at9600, 8).count(), 8333);  // 80 bits
  EXPECT_EQ(sim::SilentInterval(at9600).count(), 3645);
  const sim::WireTiming at9600Parity{9600, 11};
  EXPECT_EQ(sim::WireTime(at9600Parity, 1).count(), 1145);
  EXPECT_EQ(sim::SilentInterval(sim::WireTiming{19200, 10}).count(), 1822);
  EXPECT_EQ(sim::SilentInterval(sim::WireTiming{38400, 11}).count(), 1750);
  EXPECT_EQ(sim::WireTime(sim::WireTiming{}, 100).count(), 0);
}

TEST(WireTimingTest, PausesCoverRequestSilenceAndAnswer) {
  const sim::WireTiming timing{9600, 10};
  const std::vector<sim::Chunk> chunks = sim::PlanAnswer(kRequest, kAnswer, FaultAction{}, timing);
  // 8 request bytes, 3.5 characters, 7 answer bytes.
  EXPECT_EQ(chunks.at(0).pause.count(), 8333 + 3645 + 7291);
}

TEST(SilentWindowTest, FromIsInsideAndToIsNot) {
  const double kForEver = std::numeric_limits<double>::infinity();
  const std::vector<sim::SilentWindow> windows = {{1, 2.0, 12.5}, {3, 0, kForEver}, {1, 20, 21}};
  const struct {
    uint8_t station;
    double seconds;
    bool silent;
  } cases[] = {
      {1, 0, false},    {1, 1.999, false}, {1, 2.0, true},  {1, 12.49, true},
      {1, 12.5, false}, {1, 19.99, false}, {1, 20.5, true}, {1, 21, false},
      {2, 5, false},    {3, 0, true},      {3, 1e9, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sim::InSilentWindow(windows, c.station, c.seconds), c.silent)
        << "station " << int{c.station} << " at " << c.seconds << " s";
  }
  EXPECT_FALSE(sim::InSilentWindow({}, 1, 0));
}

struct EchoCase {
  const char* name;
  sim::EchoMode mode;
  Bytes echo;
  int echoUsAt9600;  // the echo's own wire time
};

Bytes WithByte(Bytes frame, size_t index, uint8_t mask) {
  frame[index] ^= mask;
  return frame;
}

// kRequest is 07 03 00 00 00 01 and its CRC: the last byte before the CRC is
// the 01 of the quantity.
const EchoCase kEchoCases[] = {
    {"none", sim::EchoMode::kNone, {}, 0},
    {"full", sim::EchoMode::kFull, kRequest, 8333},
    {"partial", sim::EchoMode::kPartial, Hex("07 03 00"), 3125},
    {"corrupt", sim::EchoMode::kCorrupt, WithByte(kRequest, 5, 0x20), 8333},
};

void PrintTo(const EchoCase& c, std::ostream* os) { *os << c.name; }

class EchoTest : public ::testing::TestWithParam<EchoCase> {};

TEST_P(EchoTest, HandsBackTheRequestAndKeepsTheAnswersTime) {
  const EchoCase& c = GetParam();
  sim::EchoMode parsed = sim::EchoMode::kFull;
  ASSERT_TRUE(sim::ParseEchoMode(c.name, &parsed));
  EXPECT_EQ(parsed, c.mode);
  EXPECT_STREQ(sim::EchoModeName(c.mode), c.name);

  std::vector<sim::Chunk> answer;  // none: the echo alone
  const sim::Chunk untimed = sim::PlanEcho(kRequest, c.mode, {}, &answer);
  EXPECT_EQ(untimed.bytes, c.echo);
  EXPECT_EQ(untimed.pause.count(), 0);

  // On the wire the echo runs alongside the request and the answer still
  // comes when it would without the echo.
  const sim::WireTiming timing{9600, 10};
  answer = sim::PlanAnswer(kRequest, kAnswer, FaultAction{}, timing);
  const auto alone = answer.at(0).pause;
  const sim::Chunk echo = sim::PlanEcho(kRequest, c.mode, timing, &answer);
  EXPECT_EQ(echo.bytes, c.echo);
  EXPECT_EQ(echo.pause.count(), c.echoUsAt9600);
  EXPECT_EQ(echo.pause + answer[0].pause, alone);
  EXPECT_EQ(answer[0].bytes, kFrame);
}

INSTANTIATE_TEST_SUITE_P(Modes, EchoTest, ::testing::ValuesIn(kEchoCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
