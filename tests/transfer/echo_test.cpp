// Lines that hand every request back before its reply, over the fake line:
// ECHO = YES reads and checks the echo, AUTO learns it from a read's reply
// and never from a write's.

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/fake_line_fixture.h"

using namespace kovrin;

namespace {

enum class Echo { kNone, kFull, kPartial, kCorrupt };

struct EchoCase {
  const char* what;
  const char* initFile;
  const char* gas;  // station 1, or 0 for a broadcast
  bool write;
  Echo echo;
  bool answers;  // the station's reply follows the echo
  int requests;
  int32_t result;
  uint16_t echoFlags;  // after the transfer
  int collisions;      // journal lines of each kind
  int missing;
  int learnt;
};

void PrintTo(const EchoCase& c, std::ostream* out) { *out << c.what; }

// The request the gate's transfer sends, and the station's reply to it.
Frame RequestOf(const EchoCase& c) {
  if (std::string(c.gas) == "0040001") return WithCrc({0x00, 0x06, 0x00, 0x00, 0x00, 0x07});
  const bool far = std::string(c.gas) == "0144097";        // address 0x1000
  const bool ambiguous = std::string(c.gas) == "0140513";  // address 0x0200: its high byte is a byte count
  const uint8_t high = far ? 0x10 : ambiguous ? 0x02 : 0x00;
  return c.write ? WithCrc({0x01, 0x06, high, 0x00, 0x00, 0x07})
                 : WithCrc({0x01, 0x03, high, 0x00, 0x00, 0x01});
}

Frame ReplyOf(const EchoCase& c) { return c.write ? RequestOf(c) : WithCrc({0x01, 0x03, 0x02, 0x00, 0x07}); }

Frame EchoOf(const EchoCase& c) {
  Frame echo = RequestOf(c);
  switch (c.echo) {
    case Echo::kNone:
      return {};
    case Echo::kFull:
      return echo;
    case Echo::kPartial:
      return Frame(echo.begin(), echo.begin() + 3);
    case Echo::kCorrupt:
      echo[5] ^= 0x20;
      return echo;
  }
  return echo;
}

class EchoTest : public ::testing::TestWithParam<EchoCase> {
 protected:
  void SetUp() override {
    dir_.Write("KOVRIN.INT", GetParam().initFile);
    FakeLineInstall();
    FakeLineSkipSleeps(true);
    ASSERT_EQ(session_.StartOnFakeLine(), kResultDone);
  }
  void TearDown() override {
    session_.Close();
    g_ended = 0;
  }

  TempDir dir_;
  LogCapture log_;
  FakeLineSession session_;
};

TEST_P(EchoTest, Transfer) {
  const EchoCase& c = GetParam();
  for (int i = 0; i < c.requests; ++i) {
    Frame bytes = EchoOf(c);
    if (c.answers) {
      const Frame reply = ReplyOf(c);
      bytes.insert(bytes.end(), reply.begin(), reply.end());
    }
    if (!bytes.empty()) FakeLineAddChunk(bytes.data(), bytes.size());
    FakeLineEndReply();
  }
  log_.Clear();
  uint8_t values[4] = {0, 0, 7, 0};
  const int32_t result =
      c.write ? session_.Write(c.gas, kGateInt16, values) : session_.Read(c.gas, kGateInt16, values);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(FakeLineRequestCount(), c.requests);
  const uint8_t* sent = nullptr;
  const size_t size = FakeLineLastRequest(&sent);
  EXPECT_EQ(Frame(sent, sent + size), RequestOf(c));
  if (!c.write && c.result == kResultDone) {
    EXPECT_EQ(values[2], 7);
  }
  EXPECT_EQ(session_.instance().flags & (kFlagEcho | kFlagEchoAuto), c.echoFlags);
  EXPECT_EQ(log_.Count("KOVRIN> Send() echo differs from the request: collision on the line"), c.collisions);
  EXPECT_EQ(log_.Count("KOVRIN> Send() no echo of the request (iRead=0)"), c.missing);
  EXPECT_EQ(log_.Count("KOVRIN> line echoes its requests: echo removed from the replies"), c.learnt);
  for (const LogLine& line : log_.lines()) {
    if (line.text.find("echo") != std::string::npos && line.text.find("Send()") != std::string::npos) {
      EXPECT_EQ(line.level, 8) << line.text;
    }
  }
}

const char kYes[] = "ECHO = YES\n";
const char kAuto[] = "ECHO = AUTO\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, EchoTest,
    ::testing::Values(EchoCase{"YES: a full echo, then the reply", kYes, "0140001", false, Echo::kFull, true,
                               1, kResultDone, kFlagEcho, 0, 0, 0},
                      EchoCase{"YES: a write's echo, then its reply (the same bytes)", kYes, "0140001", true,
                               Echo::kFull, true, 1, kResultDone, kFlagEcho, 0, 0, 0},
                      EchoCase{"YES: a partial echo is a collision, every attempt", kYes, "0140001", false,
                               Echo::kPartial, true, 3, kResultTransport, kFlagEcho, 3, 0, 0},
                      EchoCase{"YES: a corrupt echo is a collision", kYes, "0140001", false, Echo::kCorrupt,
                               true, 3, kResultTransport, kFlagEcho, 3, 0, 0},
                      EchoCase{"YES: a write whose echo collides is tried ten times", kYes, "0140001", true,
                               Echo::kCorrupt, true, 10, kResultTransport, kFlagEcho, 10, 0, 0},
                      EchoCase{"YES: no echo on a silent line is a send failure", kYes, "0140001", false,
                               Echo::kNone, false, 3, kResultTransport, kFlagEcho, 0, 3, 0},
                      EchoCase{"YES: a reply without echo is no echo", kYes, "0140001", false, Echo::kNone,
                               true, 3, kResultTransport, kFlagEcho, 3, 0, 0},
                      EchoCase{"YES: a broadcast's echo is read too", kYes, "0040001", true, Echo::kFull,
                               false, 1, kResultDone, kFlagEcho, 0, 0, 0},
                      EchoCase{"YES: a broadcast without echo did not go out", kYes, "0040001", true,
                               Echo::kNone, false, 1, kResultTransport, kFlagEcho, 0, 1, 0},
                      EchoCase{"NO: a line without echo as always", "", "0140001", false, Echo::kNone, true,
                               1, kResultDone, 0, 0, 0, 0},
                      EchoCase{"AUTO: a line without echo stays undecided", kAuto, "0140001", false,
                               Echo::kNone, true, 1, kResultDone, kFlagEchoAuto, 0, 0, 0},
                      EchoCase{"AUTO: a read's reply that begins with the request teaches the echo", kAuto,
                               "0140001", false, Echo::kFull, true, 1, kResultDone, kFlagEcho, 0, 0, 1},
                      EchoCase{"AUTO: learnt where the echo's address reads as the byte count", kAuto,
                               "0140513", false, Echo::kFull, true, 1, kResultDone, kFlagEcho, 0, 0, 1},
                      EchoCase{"AUTO: learnt where the echo's address is no byte count", kAuto, "0144097",
                               false, Echo::kFull, true, 1, kResultDone, kFlagEcho, 0, 0, 1},
                      EchoCase{"AUTO: a write's echo is its correct reply: it decides nothing", kAuto,
                               "0140001", true, Echo::kFull, true, 1, kResultDone, kFlagEchoAuto, 0, 0, 0},
                      EchoCase{"AUTO: a silent line decides nothing", kAuto, "0140001", false, Echo::kNone,
                               false, 3, kResultTransport, kFlagEchoAuto, 0, 0, 0},
                      EchoCase{"AUTO: a partial echo is no echo: a wrong reply, tried again as such", kAuto,
                               "0144097", false, Echo::kPartial, true, 10, kResultFailed, kFlagEchoAuto, 0, 0,
                               0}));

// Once learnt, the echo is read before every reply: the next reads go as on
// a line set to YES, and the line is said to echo only once.
TEST(EchoLearnt, LaterReadsReadTheEchoFirst) {
  TempDir dir;
  dir.Write("KOVRIN.INT", kAuto);
  LogCapture log;
  FakeLineInstall();
  FakeLineSkipSleeps(true);
  FakeLineSession session;
  ASSERT_EQ(session.StartOnFakeLine(), kResultDone);
  const EchoCase c{"", kAuto, "0144097", false, Echo::kFull, true, 1, kResultDone, kFlagEcho, 0, 0, 1};
  for (int i = 0; i < 4; ++i) {
    Frame bytes = EchoOf(c);
    const Frame reply = ReplyOf(c);
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    FakeLineAddChunk(bytes.data(), bytes.size());
    FakeLineEndReply();
  }
  for (int i = 0; i < 4; ++i) {
    uint8_t values[4] = {};
    EXPECT_EQ(session.Read(c.gas, kGateInt16, values), kResultDone);
    EXPECT_EQ(values[2], 7);
  }
  EXPECT_EQ(FakeLineRequestCount(), 4);
  EXPECT_EQ(log.Count("KOVRIN> line echoes its requests: echo removed from the replies"), 1);
  EXPECT_EQ(log.LevelOf("KOVRIN> line echoes its requests: echo removed from the replies"), 32);
  session.Close();
  g_ended = 0;
}

}  // namespace
