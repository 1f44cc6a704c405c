// The line's timing on a clock of the test's own: the silence before every
// request (the host's time between requests counts towards it), the moment
// RTS drops after a frame, and when a broadcast's send returns. The line
// answers nothing; time moves only by its sleeps and, a little, by every
// reading of its counter.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "serial/frame.h"
#include "serial/line.h"
#include "serial/line_clock.h"
#include "serial/port.h"
#include "serial/transaction.h"

using namespace kovrin;

namespace {

HANDLE const kPort = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4C));
constexpr uint64_t kCounterStepUs = 5;  // the time one reading of the counter takes

struct Event {
  std::string what;  // "sleep 2", "write", "RTS+", "RTS-"
  uint64_t atUs;
};

// The line's state: one test runs at a time.
uint64_t g_nowUs = 1000000;
int g_outputPolls = 0;  // polls of the output queue that still find bytes
std::vector<Event> g_events;

void Record(const std::string& what) { g_events.push_back({what, g_nowUs}); }

HANDLE Open(const char*) { return kPort; }
BOOL Ok(HANDLE) { return TRUE; }
BOOL StateOk(HANDLE, DCB*) { return TRUE; }
COMMTIMEOUTS g_timeouts{};
BOOL GetTimeouts(HANDLE, COMMTIMEOUTS* t) {
  *t = g_timeouts;
  return TRUE;
}
BOOL SetTimeouts(HANDLE, COMMTIMEOUTS* t) {
  g_timeouts = *t;
  return TRUE;
}
BOOL Queues(HANDLE, DWORD, DWORD) { return TRUE; }
BOOL QueueStatus(HANDLE, DWORD* errors, COMSTAT* status) {
  *errors = 0;
  *status = COMSTAT{};
  if (g_outputPolls > 0) {
    --g_outputPolls;
    status->cbOutQue = 1;
  }
  return TRUE;
}
BOOL Read(HANDLE, void*, DWORD, DWORD* got) {
  *got = 0;
  g_nowUs += 1000u * g_timeouts.ReadTotalTimeoutConstant;
  return TRUE;
}
BOOL Write(HANDLE, const void*, DWORD count, DWORD* written) {
  Record("write");
  *written = count;
  return TRUE;
}
BOOL Escape(HANDLE, DWORD function) {
  Record(function == SETRTS ? "RTS+" : "RTS-");
  return TRUE;
}
void Sleep(DWORD ms) {
  Record("sleep " + std::to_string(ms));
  g_nowUs += 1000u * ms;
}
BOOL Counter(LARGE_INTEGER* count) {
  g_nowUs += kCounterStepUs;
  count->QuadPart = static_cast<int64_t>(g_nowUs);
  return TRUE;
}
BOOL Frequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000;  // counts of microseconds
  return TRUE;
}

const LineOps kClockedLine = {Open,        Ok,   StateOk, StateOk, GetTimeouts, SetTimeouts, Queues,
                              QueueStatus, Read, Write,   Escape,  Sleep,       Counter,     Frequency};

FrameLine LineAt(uint16_t baud, uint8_t characterBits = 10, bool switchRts = false, uint16_t gapMs = 0) {
  return FrameLine{kPort, gapMs, 0, switchRts, baud, 100, characterBits, LineEcho::kNone};
}

class LineTimingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallLine(&kClockedLine);
    ForgetLineTime(kPort);
    g_events.clear();
    g_outputPolls = 0;
  }
  void TearDown() override {
    ForgetLineTime(kPort);
    InstallLine(nullptr);
  }
  static std::string Sleeps() {
    std::string out;
    for (const Event& e : g_events) {
      if (e.what.rfind("sleep", 0) == 0) out += (out.empty() ? "" : ", ") + e.what;
    }
    return out;
  }
  static uint64_t At(const std::string& what) {
    for (const Event& e : g_events) {
      if (e.what == what) return e.atUs;
    }
    return 0;
  }
};

struct SilenceCase {
  const char* what;
  uint16_t baud;
  bool lineNoted;       // a reply ended on the line before
  uint64_t hostTimeUs;  // the host's time since
  uint16_t gapMs;
  const char* sleeps;
};
void PrintTo(const SilenceCase& c, std::ostream* out) { *out << c.what; }

class SilenceTest : public LineTimingTest, public ::testing::WithParamInterface<SilenceCase> {};

TEST_P(SilenceTest, RequestWaitsWhatIsLeftOfTheSilence) {
  const SilenceCase& c = GetParam();
  if (c.lineNoted) NoteLineBusy(kPort);
  g_nowUs += c.hostTimeUs;
  uint8_t frame[8] = {1, 3, 0, 0, 0, 1};
  ASSERT_EQ(SendUnanswered(LineAt(c.baud, 10, false, c.gapMs), frame, 6), SendResult::kSent);
  // Only the sleeps before the write: the broadcast's own wait follows it.
  std::string before;
  for (const Event& e : g_events) {
    if (e.what == "write") break;
    if (e.what.rfind("sleep", 0) == 0) before += (before.empty() ? "" : ", ") + e.what;
  }
  EXPECT_EQ(before, c.sleeps);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SilenceTest,
    ::testing::Values(SilenceCase{"19200, host at once: 2.01 ms", 19200, true, 0, 0, "sleep 3"},
                      SilenceCase{"57600, 1 ms of host time", 57600, true, 1000, 0, "sleep 1"},
                      SilenceCase{"9600, host at once: 4.01 ms", 9600, true, 0, 0, "sleep 5"},
                      SilenceCase{"9600, 3.5 ms of host time", 9600, true, 3500, 0, "sleep 1"},
                      SilenceCase{"9600, the host took longer", 9600, true, 4100, 0, ""},
                      SilenceCase{"1200, 10 ms of host time: 32.1 ms", 1200, true, 10000, 0, "sleep 23"},
                      SilenceCase{"nothing on the line since it opened", 9600, false, 0, 0, ""},
                      SilenceCase{"38400, the gap comes on top", 38400, true, 0, 3, "sleep 2, sleep 3"}));

struct RtsCase {
  const char* what;
  uint16_t baud;
  uint8_t characterBits;
  int outputPolls;   // polls of the output queue before it reads empty
  uint64_t leastUs;  // from the write to RTS dropping
};
void PrintTo(const RtsCase& c, std::ostream* out) { *out << c.what; }

class RtsTest : public LineTimingTest, public ::testing::WithParamInterface<RtsCase> {};

// An 8-byte frame: RTS drops once the queue is empty and the frame and one
// character more have had their wire time, and little later.
TEST_P(RtsTest, RtsDropsOnceTheFrameIsOnTheWire) {
  const RtsCase& c = GetParam();
  g_outputPolls = c.outputPolls;
  uint8_t frame[8] = {1, 3, 0, 0, 0, 1};
  ASSERT_EQ(SendFrame(LineAt(c.baud, c.characterBits, true), frame, 6), SendResult::kSent);
  ASSERT_NE(At("RTS+"), 0u);
  ASSERT_LT(At("RTS+"), At("write"));
  const uint64_t held = At("RTS-") - At("write");
  EXPECT_GE(held, c.leastUs);
  EXPECT_LE(held, c.leastUs + 1100) << Sleeps();
}

INSTANTIATE_TEST_SUITE_P(Lines, RtsTest,
                         ::testing::Values(RtsCase{"9600 8N1", 9600, 10, 0, 9375},
                                           RtsCase{"1200 8E1", 1200, 11, 0, 82500},
                                           RtsCase{"57600 8N1", 57600, 10, 0, 1563},
                                           RtsCase{"9600 8N1, the queue empties later", 9600, 10, 20, 20000},
                                           RtsCase{"rate unknown: the queue alone", 0, 10, 3, 3000}));

// A broadcast's send returns once the frame has left the line, and its end
// then counts as the line's last byte.
TEST_F(LineTimingTest, BroadcastReturnsOnceItHasLeftTheLine) {
  uint8_t frame[8] = {0, 6, 0, 1, 0, 5};
  ASSERT_EQ(SendUnanswered(LineAt(9600), frame, 6), SendResult::kSent);
  const uint64_t sentAt = At("write");
  EXPECT_GE(g_nowUs - sentAt, 9375u);
  EXPECT_LE(g_nowUs - sentAt, 9375u + 1100);
  EXPECT_GE(LineBusyAtUs(kPort), sentAt + 9375);
}

}  // namespace
