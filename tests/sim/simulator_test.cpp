// The simulator serving a pseudo-terminal, seen from a master on its line.

#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>

#include "programs/far_end.h"
#include "sim/trace.h"
#include "tests/sim/sim_bytes.h"
#include "tests/support/temp_dir.h"

using namespace kovrin;

namespace {

using namespace simtest;
using sim::FaultAction;
using sim::FaultKind;
using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The master end: the device a driver would open.
class Master {
 public:
  explicit Master(const std::string& path) : line_(FarEndOpenDevice(path.c_str())) {}
  ~Master() { FarEndClose(line_); }
  bool ok() const { return line_ >= 0; }
  int fd() const { return line_; }
  void Send(const Bytes& bytes) { ASSERT_TRUE(FarEndWrite(line_, bytes.data(), bytes.size())); }
  // Everything that comes back until the line stays quiet for idleMs.
  Bytes Receive(int firstByteMs = 1000, int idleMs = 60) {
    Bytes bytes(1024);
    bytes.resize(FarEndReadUntilIdle(line_, bytes.data(), bytes.size(), firstByteMs, idleMs));
    return bytes;
  }
  Bytes Exchange(const Bytes& request, int firstByteMs = 1000, int idleMs = 60) {
    Send(request);
    return Receive(firstByteMs, idleMs);
  }

 private:
  int line_;
};

class SimulatorTest : public ::testing::Test {
 protected:
  void StartWith(sim::SimulatorOptions options) {
    simulator_ = std::make_unique<sim::Simulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(simulator_->Start(&error)) << error;
    master_ = std::make_unique<Master>(simulator_->devicePath());
    ASSERT_TRUE(master_->ok());
  }
  void SetUp() override { StartWith({}); }

  std::unique_ptr<sim::Simulator> simulator_;
  std::unique_ptr<Master> master_;
};

const Bytes kReadOne = HexCrc("01 03 00 05 00 01");
const Bytes kAnswerOne = HexCrc("01 03 02 00 05");

Bytes Inverted(Bytes frame) {
  frame[frame.size() - 2] ^= 0xFF;
  frame[frame.size() - 1] ^= 0xFF;
  return frame;
}

struct LineFaultCase {
  const char* action;
  Bytes expected;  // everything the master receives
  int minMs;       // at least this long until all of it arrived
};

const LineFaultCase kLineFaultCases[] = {
    {"correct", kAnswerOne, 0},
    {"silent", {}, 0},
    {"wrong-slave", HexCrc("02 03 02 00 05"), 0},
    {"wrong-function", HexCrc("01 04 02 00 05"), 0},
    {"bad-crc", Inverted(kAnswerOne), 0},
    {"exception:4", HexCrc("01 83 04"), 0},
    {"truncate:4", Bytes(kAnswerOne.begin(), kAnswerOne.begin() + 4), 0},
    {"split:2:80", kAnswerOne, 3 * 80 - 20},
    {"delay:200", kAnswerOne, 190},
    {"garbage:2", Concat(Hex("FF FE"), kAnswerOne), 0},
};

void PrintTo(const LineFaultCase& c, std::ostream* os) { *os << c.action; }

class LineFaultTest : public SimulatorTest, public ::testing::WithParamInterface<LineFaultCase> {};

TEST_P(LineFaultTest, MasterSeesTheFault) {
  const LineFaultCase& c = GetParam();
  FaultAction action;
  ASSERT_TRUE(sim::ParseFault(c.action, &action, nullptr));
  simulator_->QueueFaults({action});
  const auto start = Clock::now();
  master_->Send(kReadOne);
  const Bytes received = master_->Receive(c.expected.empty() ? 300 : 1000, 150);
  EXPECT_EQ(received, c.expected);
  EXPECT_GE(ElapsedMs(start), c.minMs);
  ASSERT_TRUE(simulator_->WaitForHandled(1, 1000));
  const std::vector<sim::LoggedRequest> log = simulator_->Requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].action, action);
  EXPECT_EQ(simulator_->ActionCounts()[static_cast<size_t>(action.kind)], 1u);
  // The next request is answered correctly again.
  EXPECT_EQ(master_->Exchange(kReadOne), kAnswerOne);
}

INSTANTIATE_TEST_SUITE_P(Actions, LineFaultTest, ::testing::ValuesIn(kLineFaultCases), [](const auto& info) {
  std::string name = info.param.action;
  for (char& ch : name)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST_F(SimulatorTest, ExceptionFaultDoesNotCarryOutTheWrite) {
  simulator_->QueueFaults({FaultAction{FaultKind::kException, 6}, FaultAction{FaultKind::kSilent}});
  EXPECT_EQ(master_->Exchange(HexCrc("01 06 00 05 12 34")), HexCrc("01 86 06"));
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 5), 5);
  // A lost answer still means the device heard the write.
  EXPECT_TRUE(master_->Exchange(HexCrc("01 06 00 05 12 34"), 300).empty());
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 5), 0x1234);
}

TEST_F(SimulatorTest, ResynchronisesAfterGarbage) {
  EXPECT_EQ(master_->Exchange(Concat(Hex("00 FF 13 03 77"), kReadOne)), kAnswerOne);
  EXPECT_EQ(simulator_->DiscardedBytes(), 5u);
  // A broken request, then after a pause the whole one: one answer.
  master_->Send(Bytes(kReadOne.begin(), kReadOne.begin() + 5));
  EXPECT_TRUE(master_->Receive(200).empty());
  EXPECT_EQ(master_->Exchange(kReadOne), kAnswerOne);
  // A header promising a long frame is dropped once the line falls idle.
  master_->Send(Hex("01 10 00 00 00 40 80"));
  SleepForMs(150);
  EXPECT_EQ(master_->Exchange(kReadOne), kAnswerOne);
}

TEST_F(SimulatorTest, IgnoresBadCrcAndOtherStationsAndLogsRequests) {
  const auto start = Clock::now();
  EXPECT_TRUE(master_->Exchange(Inverted(kReadOne), 200).empty());
  EXPECT_TRUE(master_->Exchange(HexCrc("09 03 00 05 00 01"), 200).empty());
  EXPECT_TRUE(master_->Exchange(HexCrc("00 06 00 07 AB CD"), 200).empty());
  EXPECT_EQ(master_->Exchange(kReadOne), kAnswerOne);
  ASSERT_TRUE(simulator_->WaitForHandled(3, 1000));
  const std::vector<sim::LoggedRequest> log = simulator_->Requests();
  ASSERT_EQ(log.size(), 3u);  // the frame with the bad CRC is no request
  EXPECT_EQ(log[0].frame, HexCrc("09 03 00 05 00 01"));
  EXPECT_EQ(log[0].fate, sim::RequestFate::kOtherStation);
  EXPECT_EQ(log[1].fate, sim::RequestFate::kBroadcast);
  EXPECT_EQ(log[2].frame, kReadOne);
  EXPECT_EQ(log[2].fate, sim::RequestFate::kServed);
  EXPECT_GE(log[0].time, start);
  EXPECT_LE(log[0].time, log[1].time);
  EXPECT_LE(log[1].time, log[2].time);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 7), 0xABCD);  // the broadcast write
  simulator_->ClearRequests();
  EXPECT_TRUE(simulator_->Requests().empty());
}

TEST_F(SimulatorTest, ServesSeveralStationsAndReports) {
  StartWith([] {
    sim::SimulatorOptions options;
    options.stations = {3, 200};
    std::string error;
    EXPECT_TRUE(sim::ParsePreset("200:hr:5=0x0BAD", "", &options.presets, &error)) << error;
    return options;
  }());
  EXPECT_EQ(master_->Exchange(HexCrc("03 03 00 05 00 01")), HexCrc("03 03 02 00 05"));
  EXPECT_EQ(master_->Exchange(HexCrc("C8 03 00 05 00 01")), HexCrc("C8 03 02 0B AD"));
  EXPECT_TRUE(master_->Exchange(kReadOne, 200).empty());  // station 1 is not served
  const Bytes packet = master_->Exchange(HexCrc("03 41 23 8D 00 00"));
  ASSERT_EQ(packet.size(), 136u);
  EXPECT_EQ(Crc16(packet.data(), packet.size()), 0);
  EXPECT_EQ(std::string(packet.begin() + 6, packet.begin() + 25), "S003 R9101 LINE 001");
}

TEST_F(SimulatorTest, WritesOverTheLineAreVisibleThroughTheApi) {
  EXPECT_EQ(master_->Exchange(HexCrc("01 10 00 64 00 02 04 40 60 00 00")), HexCrc("01 10 00 64 00 02"));
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 100), 0x4060);
  ASSERT_TRUE(simulator_->Set(1, sim::Area::kInputRegister, 9, 0x1111));
  EXPECT_EQ(master_->Exchange(HexCrc("01 04 00 09 00 01")), HexCrc("01 04 02 11 11"));
  EXPECT_FALSE(simulator_->Set(2, sim::Area::kInputRegister, 9, 1));
}

TEST_F(SimulatorTest, RandomModeFollowsItsSeed) {
  std::vector<sim::RandomFault> faults;
  ASSERT_TRUE(sim::ParseRandomFaults("silent=0.3,bad-crc=0.3", &faults, nullptr));
  simulator_->SetRandomFaults(5, faults);
  sim::FaultPlan expected;
  expected.SetRandom(5, faults);
  for (int i = 0; i < 12; ++i) {
    const FaultAction action = expected.Next();
    const Bytes received = master_->Exchange(kReadOne, action.kind == FaultKind::kSilent ? 150 : 1000, 30);
    EXPECT_EQ(received, action.kind == FaultKind::kSilent   ? Bytes{}
                        : action.kind == FaultKind::kBadCrc ? Inverted(kAnswerOne)
                                                            : kAnswerOne)
        << i;
  }
  ASSERT_TRUE(simulator_->WaitForHandled(12, 1000));
  const auto counts = simulator_->ActionCounts();
  uint64_t total = 0;
  for (uint64_t count : counts) total += count;
  EXPECT_EQ(total, 12u);
}

TEST_F(SimulatorTest, BaudEmulationDelaysTheAnswer) {
  StartWith([] {
    sim::SimulatorOptions options;
    options.timing = sim::WireTiming{9600, 10};
    return options;
  }());
  // 8 + 255 bytes at 9600 baud: 274 ms, plus 3.6 ms of silence.
  const auto start = Clock::now();
  const Bytes answer = master_->Exchange(HexCrc("01 03 00 00 00 7D"), 2000, 60);
  const int elapsed = ElapsedMs(start);
  EXPECT_EQ(answer.size(), 255u);
  EXPECT_GE(elapsed, 270);
  EXPECT_LT(elapsed, 3000);
}

TEST_F(SimulatorTest, StopsPromptlyDuringALongDelay) {
  simulator_->QueueFaults({FaultAction{FaultKind::kDelay, 20000}});
  master_->Send(kReadOne);
  for (int i = 0; i < 100 && simulator_->Requests().empty(); ++i) SleepForMs(10);
  ASSERT_EQ(simulator_->Requests().size(), 1u);
  const auto start = Clock::now();
  simulator_->Stop();
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_FALSE(simulator_->running());
}

// Trace lines from the serving thread, read once WaitForHandled has seen
// the requests through.
struct TraceLines {
  std::shared_ptr<std::vector<std::string>> lines = std::make_shared<std::vector<std::string>>();
  std::function<void(const std::string&)> Sink() {
    return [lines = lines](const std::string& line) { lines->push_back(line); };
  }
  bool Has(const std::string& text) const {
    return std::any_of(lines->begin(), lines->end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
  }
};

const double kForEver = std::numeric_limits<double>::infinity();

void ExpectExchange(Master& master, const Bytes& request, const Bytes& expected) {
  EXPECT_EQ(master.Exchange(request, expected.empty() ? 150 : 1000), expected)
      << sim::HexBytes(request.data(), request.size());
}

TEST_F(SimulatorTest, SilentWindowBeforeInsideAndAfter) {
  const auto start = Clock::now();
  StartWith([] {
    sim::SimulatorOptions options;
    options.silent = {{1, 0.5, 1.0}};
    return options;
  }());
  const struct {
    int atMs;
    Bytes request;
    Bytes expected;
  } steps[] = {
      {0, HexCrc("01 06 00 05 11 11"), HexCrc("01 06 00 05 11 11")},
      {600, HexCrc("01 06 00 05 22 22"), {}},
      {1200, kReadOne, HexCrc("01 03 02 11 11")},  // the write while off did nothing
  };
  for (const auto& step : steps) {
    SleepForMs(std::max(0, step.atMs - ElapsedMs(start)));
    ExpectExchange(*master_, step.request, step.expected);
  }
  ASSERT_TRUE(simulator_->WaitForHandled(3, 1000));
  EXPECT_EQ(simulator_->Requests().at(1).fate, sim::RequestFate::kSilentStation);
}

TEST_F(SimulatorTest, OneOfSeveralStationsSilent) {
  TraceLines trace;
  StartWith([&] {
    sim::SimulatorOptions options;
    options.stations = {1, 2, 3};
    options.silent = {{2, 0, kForEver}};
    options.trace = trace.Sink();
    return options;
  }());
  // The fault goes to the next station that hears its request, not to 2.
  simulator_->QueueFaults({FaultAction{FaultKind::kBadCrc}});
  ExpectExchange(*master_, HexCrc("02 03 00 05 00 01"), {});
  ExpectExchange(*master_, kReadOne, Inverted(kAnswerOne));
  ExpectExchange(*master_, HexCrc("03 03 00 05 00 01"), HexCrc("03 03 02 00 05"));
  ExpectExchange(*master_, HexCrc("00 06 00 07 AB CD"), {});
  ASSERT_TRUE(simulator_->WaitForHandled(4, 1000));
  // The broadcast reached the stations that are on.
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 7), 0xABCD);
  EXPECT_EQ(simulator_->Get(2, sim::Area::kHoldingRegister, 7), 7);
  EXPECT_EQ(simulator_->Get(3, sim::Area::kHoldingRegister, 7), 0xABCD);
  EXPECT_EQ(simulator_->Requests().at(0).fate, sim::RequestFate::kSilentStation);
  EXPECT_TRUE(
      trace.Has("station 2: read holding registers 5..5 (1) (station silent: no answer, nothing done)"));
}

TEST_F(SimulatorTest, EchoesWhateverGoesOutOnTheWire) {
  TraceLines trace;
  StartWith([&] {
    sim::SimulatorOptions options;
    options.stations = {1, 2};
    options.silent = {{2, 0, kForEver}};
    options.echo = sim::EchoMode::kFull;
    options.trace = trace.Sink();
    return options;
  }());
  const Bytes broadcast = HexCrc("00 06 00 07 AB CD");
  const Bytes toOther = HexCrc("09 03 00 05 00 01");
  const Bytes toSilent = HexCrc("02 03 00 05 00 01");
  const struct {
    const char* fault;  // for station 1's next request, or null
    Bytes request;
    Bytes expected;
  } cases[] = {
      {nullptr, kReadOne, Concat(kReadOne, kAnswerOne)},
      {"exception:2", kReadOne, Concat(kReadOne, HexCrc("01 83 02"))},
      {"silent", kReadOne, kReadOne},
      {nullptr, broadcast, broadcast},
      {nullptr, toOther, toOther},
      {nullptr, toSilent, toSilent},
      {nullptr, Inverted(kReadOne), {}},  // no request
  };
  for (const auto& c : cases) {
    if (c.fault != nullptr) {
      FaultAction action;
      ASSERT_TRUE(sim::ParseFault(c.fault, &action, nullptr));
      simulator_->QueueFaults({action});
    }
    ExpectExchange(*master_, c.request, c.expected);
  }
  ASSERT_TRUE(simulator_->WaitForHandled(std::size(cases) - 1, 1000));
  EXPECT_TRUE(trace.Has("echo full"));
}

TEST_F(SimulatorTest, TimedEchoRunsWithTheRequestAndTheAnswerKeepsItsTime) {
  StartWith([] {
    sim::SimulatorOptions options;
    options.echo = sim::EchoMode::kCorrupt;
    options.timing = options.framing = sim::WireTiming{1200, 10};
    return options;
  }());
  // At 1200 baud the echo's 8 bytes take 67 ms; the answer is due after 8
  // bytes, 3.5 characters and its own 7 bytes: 154 ms.
  const auto start = Clock::now();
  master_->Send(kReadOne);
  Bytes echo(kReadOne.size());
  echo.resize(FarEndReadExactly(master_->fd(), echo.data(), echo.size(), 2000));
  EXPECT_EQ(echo, Concat(Hex("01 03 00 05 00 21"), Bytes(kReadOne.end() - 2, kReadOne.end())));
  EXPECT_GE(ElapsedMs(start), 66);
  EXPECT_EQ(master_->Receive(2000), kAnswerOne);
  EXPECT_GE(ElapsedMs(start), 153);
  EXPECT_LT(ElapsedMs(start), 3000);
}

TEST(SimulatorLineTest, LinkIsMadeAndRemovedAndMastersMayReopen) {
  TempDir dir;
  const std::string link = (dir.path() / "com1").string();
  {
    sim::SimulatorOptions options;
    options.line.link = link;
    sim::Simulator simulator(options);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), simulator.devicePath());
    for (int round = 0; round < 2; ++round) {
      Master master(link);
      ASSERT_TRUE(master.ok());
      EXPECT_EQ(master.Exchange(kReadOne), kAnswerOne) << round;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

sim::SimulatorOptions LinkOptions(const std::string& link) {
  sim::SimulatorOptions options;
  options.line.link = link;
  return options;
}

void ExpectStartsOnTheLink(sim::Simulator& simulator, const std::string& link) {
  std::string error;
  ASSERT_TRUE(simulator.Start(&error)) << error;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), simulator.devicePath());
}

TEST(SimulatorLineTest, ALinkThatASimulatorServesIsRefusedUntilItEnds) {
  TempDir dir;
  const std::string link = (dir.path() / "com1").string();
  const sim::SimulatorOptions options = LinkOptions(link);
  auto holder = std::make_unique<sim::Simulator>(options);
  std::string error;
  ASSERT_TRUE(holder->Start(&error)) << error;
  const std::string holderPid = FileText(link + ".lock");
  ASSERT_FALSE(holderPid.empty());
  {
    sim::Simulator second(options);
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find("will not take over " + link), std::string::npos) << error;
    EXPECT_NE(error.find("process " + holderPid.substr(0, holderPid.size() - 1) + " serves it"),
              std::string::npos)
        << error;
  }
  // The refused one left the link and its lock as they were.
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), holder->devicePath());
  EXPECT_EQ(FileText(link + ".lock"), holderPid);
  Master master(link);
  ASSERT_TRUE(master.ok());
  EXPECT_EQ(master.Exchange(kReadOne), kAnswerOne);

  holder.reset();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  EXPECT_FALSE(std::filesystem::exists(link + ".lock"));
  sim::Simulator next(options);
  ExpectStartsOnTheLink(next, link);
}

// What a simulator that died leaves: its link, and a lock file whose lock
// ended with it.
TEST(SimulatorLineTest, ALinkLeftByASimulatorThatDiedIsTakenOver) {
  const struct {
    const char* lockText;  // nullptr: no lock file
  } kLeft[] = {{"999999\n"}, {""}, {nullptr}};
  for (const auto& left : kLeft) {
    TempDir dir;
    const std::string link = (dir.path() / "com1").string();
    std::filesystem::create_symlink("/dev/pts/gone", link);
    if (left.lockText != nullptr) dir.Write("com1.lock", left.lockText);
    sim::Simulator simulator(LinkOptions(link));
    ExpectStartsOnTheLink(simulator, link);
    const std::string pid = FileText(link + ".lock");
    EXPECT_FALSE(pid.empty());
    EXPECT_NE(pid, "999999\n");
    Master master(link);
    ASSERT_TRUE(master.ok());
    EXPECT_EQ(master.Exchange(kReadOne), kAnswerOne);
  }
}

TEST(SimulatorLineTest, RefusesToReplaceAFile) {
  TempDir dir;
  dir.Write("com1", "precious");
  sim::SimulatorOptions options;
  options.line.link = (dir.path() / "com1").string();
  sim::Simulator simulator(options);
  std::string error;
  EXPECT_FALSE(simulator.Start(&error));
  EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "com1"));
}

TEST(SimulatorLineTest, RefusesBadOptions) {
  for (auto change :
       std::vector<void (*)(sim::SimulatorOptions&)>{[](sim::SimulatorOptions& o) { o.stations = {}; },
                                                     [](sim::SimulatorOptions& o) {
                                                       o.stations = {1, 0};
                                                     },
                                                     [](sim::SimulatorOptions& o) { o.stations = {248}; },
                                                     [](sim::SimulatorOptions& o) {
                                                       o.silent = {{2, 0, 1}};
                                                     },
                                                     [](sim::SimulatorOptions& o) { o.idleMs = 0; }}) {
    sim::SimulatorOptions options;
    change(options);
    sim::Simulator simulator(options);
    std::string error;
    EXPECT_FALSE(simulator.Start(&error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(SimulatorLineTest, ServesAnExistingDevice) {
  char path[128];
  const int outer = FarEndOpenPty(path, sizeof path);
  ASSERT_GE(outer, 0);
  sim::SimulatorOptions options;
  options.line.device = path;
  options.line.baud = 19200;
  options.line.parity = 'E';
  sim::Simulator simulator(options);
  std::string error;
  ASSERT_TRUE(simulator.Start(&error)) << error;
  EXPECT_EQ(simulator.devicePath(), path);
  ASSERT_TRUE(FarEndWrite(outer, kReadOne.data(), kReadOne.size()));
  Bytes answer(64);
  answer.resize(FarEndReadUntilIdle(outer, answer.data(), answer.size(), 1000, 60));
  EXPECT_EQ(answer, kAnswerOne);
  simulator.Stop();
  FarEndClose(outer);
  sim::SimulatorOptions missing;
  missing.line.device = "/no/such/device";
  sim::Simulator none(missing);
  EXPECT_FALSE(none.Start(&error));
}

}  // namespace
