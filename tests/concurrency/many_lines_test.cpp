// Eight instances of the driver on eight pseudo-terminal lines to eight
// device simulators, polled from eight threads at once, as a host with one
// thread per line does: reads, writes, report fetches, one line closing and
// reopening its port about every second, others reopening it through
// ChangeVpiParams. Every result is checked. KOVRIN_MANY_LINES_SECONDS sets how
// long the lines run (3 s by default; .ci/tsan.sh runs longer under
// ThreadSanitizer). Beside it, a device going away on one line while another
// line opens.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "host/zelpro/zelpro_host.h"
#include "host_interface/journal.h"
#include "platform/win32.h"
#include "programs/far_end.h"
#include "sim/reports.h"
#include "sim/simulator.h"
#include "tests/support/host_session.h"
#include "tests/support/pty_device.h"
#include "tests/support/serial_faults.h"
#include "tests/support/temp_dir.h"

using namespace kovrin;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 8;

// What a line does besides its reads and writes.
enum class Duty { kPollOnly, kCloseAndReopen, kChangeParams, kRenamePort };

Duty DutyOf(int line) {
  switch (line) {
    case 0:
      return Duty::kCloseAndReopen;
    case 1:
      return Duty::kChangeParams;
    case 2:
      return Duty::kRenamePort;
    default:
      return Duty::kPollOnly;
  }
}

int RunSeconds() {
  const char* text = std::getenv("KOVRIN_MANY_LINES_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 3;
}

struct Tally {
  int transactions = 0;
  int reports = 0;
  int reopens = 0;
  std::vector<std::string> faults;  // the first few, for the failure message
  int faultCount = 0;

  void Fault(const std::string& what) {
    ++faultCount;
    if (faults.size() < 8) faults.push_back(what);
  }
};

// One line: its simulator (one station, numbered after the line so that
// report gates differ), its instance and what it saw.
class Line {
 public:
  Line(int index, const TempDir& dir) : index_(index), station_(static_cast<uint8_t>(index + 1)) {
    std::snprintf(port_, sizeof port_, "COM%d", index + 1);
    sim::SimulatorOptions options;
    options.stations = {station_};
    options.line.link = (dir.path() / ("com" + std::to_string(index + 1))).string();
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::snprintf(reportGate_, sizeof reportGate_, "R%02u01001", station_);
    ZelHostAddGate(reportGate_);
  }

  bool StartSimulator(std::string* error) { return simulator_->Start(error); }

  // The line's thread: starts the instance, polls until the deadline,
  // closes.
  void Run(Clock::time_point deadline) {
    // A reply timeout of 1 s: a loaded machine (or a sanitizer) may keep a
    // simulator's thread waiting; only a lost answer should fail here.
    if (session_.Start(port_, 100) != kResultDone) {
      tally_.Fault("ColdStart failed");
      return;
    }
    auto nextDuty = Clock::now() + std::chrono::milliseconds(700 + 150 * index_);
    for (uint32_t step = 0; Clock::now() < deadline; ++step) {
      Poll(step);
      if (step % 16 == 5) FetchReport(step);
      if (DutyOf(index_) != Duty::kPollOnly && Clock::now() >= nextDuty) {
        DoDuty(step);
        nextDuty = Clock::now() + std::chrono::seconds(1);
      }
    }
    if (session_.Close() != kResultDone) tally_.Fault("CloseCom at the end failed");
  }

  const Tally& tally() const { return tally_; }
  int index() const { return index_; }

 private:
  std::string Gate(char type, int address) const {
    char gas[16];
    std::snprintf(gas, sizeof gas, "%02u%c%04d", station_, type, address);
    return gas;
  }

  void Expect(bool ok, uint32_t step, const char* what) {
    ++tally_.transactions;
    if (!ok) tally_.Fault("step " + std::to_string(step) + ": " + what);
  }

  // A write, its value read back, a block written and read back, and an
  // input register the simulator holds.
  void Poll(uint32_t step) {
    const uint16_t value = static_cast<uint16_t>(index_ << 12 | (step & 0xFFF));
    const std::string single = Gate('4', 10 + static_cast<int>(step % 8));
    // A single 16-bit value sits in the upper half of its 4-byte cell.
    uint8_t out[4] = {0, 0, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    Expect(session_.Write(single.c_str(), kGateInt16, out) == kResultDone, step, "single write");
    uint8_t in[4] = {};
    Expect(
        session_.Read(single.c_str(), kGateInt16, in) == kResultDone && std::memcmp(in + 2, out + 2, 2) == 0,
        step, "single read-back");

    constexpr int kBlock = 4;
    uint8_t block[kBlock * 2];
    for (int i = 0; i < kBlock; ++i) {
      block[2 * i] = static_cast<uint8_t>(value + i);
      block[2 * i + 1] = static_cast<uint8_t>((value + i) >> 8);
    }
    const std::string first = Gate('4', 20);
    Expect(session_.Write(first.c_str(), kGateInt16, block, kBlock) == kResultDone, step, "block write");
    uint8_t back[kBlock * 2] = {};
    Expect(session_.Read(first.c_str(), kGateInt16, back, kBlock) == kResultDone &&
               std::memcmp(back, block, sizeof block) == 0,
           step, "block read-back");

    // Modbus input register 5 is the simulator's address 4.
    const std::string input = Gate('3', 5);
    const uint16_t held = simulator_->Get(station_, sim::Area::kInputRegister, 4);
    uint8_t got[4] = {};
    Expect(session_.Read(input.c_str(), kGateInt16, got) == kResultDone && (got[2] | got[3] << 8) == held,
           step, "input register");

    // The station answered all along: its health says so, while the other
    // lines record theirs in the same table.
    char health[8];
    std::snprintf(health, sizeof health, "!S%02u", station_);
    uint8_t state[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    Expect(session_.Read(health, kGateInt16, state) == kResultDone && (state[2] | state[3] << 8) == 0, step,
           "station health");
  }

  // A fresh text each time, so that a stale or another line's text shows.
  void FetchReport(uint32_t step) {
    char text[64];
    std::snprintf(text, sizeof text, "LINE %d STATION %02u FETCH %06u", index_, station_, step);
    sim::ReportText report;
    report.text.assign(text, text + std::strlen(text));
    simulator_->SetReport(station_, 1, report);
    char trigger[8];
    std::snprintf(trigger, sizeof trigger, "!R%02u", station_);
    uint8_t v[4] = {0, 0, 1, 0};
    const bool fetched = session_.Write(trigger, kGateRegisterOrTrigger, v) == kResultDone;
    char gate[128] = {};
    ZelHostGateText(reportGate_, gate, sizeof gate);
    Expect(fetched && std::strcmp(gate, text) == 0, step, "report fetch");
    ++tally_.reports;
  }

  // Around these the line's port is closed on purpose; each call must
  // succeed and the next poll must find the line working again.
  void DoDuty(uint32_t step) {
    ++tally_.reopens;
    switch (DutyOf(index_)) {
      case Duty::kCloseAndReopen:
        Expect(session_.Call(kCmdCloseCom, nullptr) == kResultDone, step, "CloseCom");
        Expect(session_.Call(kCmdReOpenCom, nullptr) == kResultDone, step, "ReOpenCom");
        break;
      case Duty::kChangeParams: {
        // A closed port opens again with the new reply timeout.
        Expect(session_.Call(kCmdCloseCom, nullptr) == kResultDone, step, "CloseCom before a change");
        ChangeParams change{};
        CopyPortName(change.portName, port_);
        change.replyTimeout = step % 2 == 0 ? 90 : 100;
        Expect(session_.Call(kCmdChangeVpiParams, &change) == kResultDone, step, "ChangeVpiParams");
        break;
      }
      case Duty::kRenamePort: {
        // Another spelling of the same port: the open one is closed and the
        // port opened again under the new name.
        renamed_ = !renamed_;
        char name[8];
        std::snprintf(name, sizeof name, renamed_ ? "com%d" : "COM%d", index_ + 1);
        ChangeParams change{};
        CopyPortName(change.portName, name);
        change.replyTimeout = -1;
        Expect(session_.Call(kCmdChangeVpiParams, &change) == kResultDone, step,
               "ChangeVpiParams to a new name");
        break;
      }
      case Duty::kPollOnly:
        break;
    }
  }

  int index_;
  uint8_t station_;
  char port_[8];
  char reportGate_[16];
  bool renamed_ = false;
  std::unique_ptr<sim::Simulator> simulator_;
  HostSession session_;
  Tally tally_;
};

TEST(ManyLines, EightLinesOnEightThreadsKeepEveryResult) {
  TempDir dir;
  // Every line's stations are watched, and would be demoted.
  dir.Write("KOVRIN.INT", "DEMOTE = 3 , 1\n");
  std::vector<std::unique_ptr<Line>> lines;
  for (int i = 0; i < kLines; ++i) {
    lines.push_back(std::make_unique<Line>(i, dir));
    std::string error;
    ASSERT_TRUE(lines.back()->StartSimulator(&error)) << error;
  }
  // Set once before the threads start: the environment is not changed while
  // lines run.
  ScopedComDir comDir(dir.path().string());
  ZelHostSetMinimumLevel(kLogMajor + 1);
  // Every port call of every line through the test line, as the fault tests
  // make them: its counters are shared by all lines.
  SerialFaultsReset();
  InstallTestLine();

  const auto deadline = Clock::now() + std::chrono::seconds(RunSeconds());
  std::vector<std::thread> threads;
  for (auto& line : lines) threads.emplace_back([&line, deadline] { line->Run(deadline); });
  for (std::thread& thread : threads) thread.join();
  ZelHostSetMinimumLevel(0);
  const int reads = SerialCallCount(SerialCall::kReadFile);
  InstallLine(nullptr);

  for (const auto& line : lines) {
    const Tally& tally = line->tally();
    std::printf("line %d: %d transactions, %d report fetches, %d deliberate port cycles\n", line->index(),
                tally.transactions, tally.reports, tally.reopens);
    EXPECT_EQ(tally.faultCount, 0) << "line " << line->index() << ": " << tally.faultCount << " of "
                                   << tally.transactions << " failed, first: "
                                   << (tally.faults.empty() ? "" : tally.faults.front());
    EXPECT_GT(tally.transactions, 40) << "line " << line->index();
    EXPECT_GT(tally.reports, 0) << "line " << line->index();
    if (DutyOf(line->index()) != Duty::kPollOnly && RunSeconds() >= 2) {
      EXPECT_GT(tally.reopens, 0) << "line " << line->index();
    }
  }
  int transactions = 0;
  for (const auto& line : lines) transactions += line->tally().transactions;
  EXPECT_GE(reads, transactions) << "every transaction reads at least once, and every read was counted";
  // The module-wide indicator holds the value one of the transactions left.
  const uint8_t lastError = g_lastError;
  EXPECT_TRUE(lastError == 0 || lastError == kLastErrorSendFailed || lastError == kLastErrorException)
      << int{lastError};
  EXPECT_EQ(ZelHostClientCount(), 0) << "every client the lines registered was removed";
  ZelHostClearGates();
}

// A device goes away on one line while another line opens its port again
// and again, from another thread: the open must leave the gone line's
// descriptor alone while that line's thread may be in a call on it. The
// gone line's calls fail, and its bytes never reach the other line's
// device, whose own bytes all arrive.
TEST(ManyLines, ADeviceGoneOnOneLineWhileAnotherOpens) {
  constexpr int kCycles = 40;
  constexpr uint8_t kOwn = 0x5A;
  constexpr uint8_t kStray = 0xEE;
  char busyPath[128];
  const int busyDevice = FarEndOpenPty(busyPath, sizeof busyPath);
  ASSERT_GE(busyDevice, 0);
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    char gonePath[128];
    const int goneDevice = FarEndOpenPty(gonePath, sizeof gonePath);
    ASSERT_GE(goneDevice, 0);
    const HANDLE gone =
        CreateFileA(gonePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(gone, INVALID_HANDLE_VALUE);
    FarEndClose(goneDevice);

    std::atomic<bool> stop{false};
    int strayWrites = 0;
    std::thread caller([&] {
      // Mostly calls that leave the port as it is, so that the other line's
      // open is often the first to find the device gone.
      for (int call = 0; !stop.load(); ++call) {
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(gone, &errors, &status);
        DWORD n = 0;
        if (call % 8 == 7 && WriteFile(gone, &kStray, 1, &n, nullptr)) ++strayWrites;
      }
    });
    const HANDLE busy =
        CreateFileA(busyPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(busy, INVALID_HANDLE_VALUE) << "cycle " << cycle;
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(busy, &kOwn, 1, &n, nullptr)) << "cycle " << cycle;
    uint8_t got = 0;
    EXPECT_EQ(FarEndReadExactly(busyDevice, &got, 1, 2000), 1u) << "cycle " << cycle;
    EXPECT_EQ(got, kOwn) << "cycle " << cycle;
    EXPECT_TRUE(CloseHandle(busy)) << "cycle " << cycle;
    stop.store(true);
    caller.join();
    EXPECT_EQ(strayWrites, 0) << "cycle " << cycle << ": a write on the gone line succeeded";
    EXPECT_TRUE(CloseHandle(gone)) << "cycle " << cycle;
  }
  uint8_t rest[16];
  EXPECT_EQ(FarEndReadUntilIdle(busyDevice, rest, sizeof rest, 100, 20), 0u)
      << "bytes of the gone line arrived";
  FarEndClose(busyDevice);
}

}  // namespace
