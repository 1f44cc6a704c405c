// The exchange's retry policies over the fake line: how many requests go out
// and what the host is told, for every way a reply can go wrong.

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/fake_line_fixture.h"
#include "transfer/exchange.h"

using namespace kovrin;

namespace {

// What the device does with one request.
// kUnsentGood: the request fails to go out, yet the good reply comes (never
// the first answer: the fake line marks a request as failing when the reply
// before it ends).
enum class Answer { kGood, kSilent, kWrong, kBadCrc, kRefused, kBusy, kFailure, kUnsentGood };

struct PolicyCase {
  const char* what;
  bool write;
  std::vector<Answer> answers;  // past the last one the device is silent
  int32_t result;
  int requests;
};

void PrintTo(const PolicyCase& c, std::ostream* out) { *out << c.what; }

class RetryPolicyTest : public FakeLineTest, public ::testing::WithParamInterface<PolicyCase> {
 protected:
  // Station 1: a read of one holding register, or a write of one.
  static Frame Request(bool write) {
    return write ? Frame{0x01, 0x06, 0x00, 0x10, 0x12, 0x34} : Frame{0x01, 0x03, 0x00, 0x10, 0x00, 0x01};
  }
  static Frame GoodReply(bool write) {
    return write ? WithCrc(Request(true)) : WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
  }
  static Frame ReplyFor(Answer answer, bool write) {
    const auto exception = static_cast<uint8_t>(Request(write)[1] | 0x80);
    switch (answer) {
      case Answer::kGood:
      case Answer::kUnsentGood:
        return GoodReply(write);
      case Answer::kSilent:
        return {};
      case Answer::kWrong:
        return WithCrc({0x02, 0x03, 0x02, 0x12, 0x34});  // another station
      case Answer::kBadCrc: {
        Frame frame = GoodReply(write);
        frame.back() ^= 0xFF;
        return frame;
      }
      case Answer::kRefused:
        return WithCrc({0x01, exception, 0x02});
      case Answer::kBusy:
        return WithCrc({0x01, exception, 0x06});
      case Answer::kFailure:
        return WithCrc({0x01, exception, 0x04});
    }
    return {};
  }
  static void Script(const std::vector<Answer>& answers, bool write) {
    for (size_t i = 0; i < answers.size(); ++i) {
      const Frame frame = ReplyFor(answers[i], write);
      if (!frame.empty()) FakeLineAddChunk(frame.data(), frame.size());
      FakeLineEndReply(i + 1 < answers.size() && answers[i + 1] == Answer::kUnsentGood);
    }
  }
};

TEST_P(RetryPolicyTest, RequestsSentAndResult) {
  const PolicyCase& c = GetParam();
  Script(c.answers, c.write);
  const Frame request = Request(c.write);
  std::copy(request.begin(), request.end(), instance_.txBuffer);
  GateTransfer gate{};
  gate.plc = 1;
  gate.memoryType = kMemHoldingRegisters;
  int replyLength = -1;
  const int32_t result = HostResultOf(Exchange(&instance_, static_cast<int>(request.size()),
                                               ExpectedReplyFor(&gate, instance_.txBuffer, c.write),
                                               c.write ? kWriteRetryPolicy : kReadRetryPolicy, &replyLength));
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(FakeLineRequestCount(), c.requests);
  EXPECT_EQ(LastRequest(), WithCrc(request)) << "every attempt sends the same request";
  if (c.result == kResultDone) {
    EXPECT_EQ(replyLength, static_cast<int>(GoodReply(c.write).size()));
  }
}

using A = Answer;
const std::vector<Answer> kNineWrong(9, A::kWrong);

std::vector<Answer> Then(std::vector<Answer> first, std::vector<Answer> more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

INSTANTIATE_TEST_SUITE_P(
    Policies, RetryPolicyTest,
    ::testing::Values(
        PolicyCase{"read answered at once", false, {A::kGood}, kResultDone, 1},
        PolicyCase{"read on a silent line: three attempts", false, {}, kResultTransport, 3},
        PolicyCase{
            "read answered on the third attempt", false, {A::kSilent, A::kBadCrc, A::kGood}, kResultDone, 3},
        PolicyCase{"read with bad checksums", false, {A::kBadCrc, A::kBadCrc, A::kBadCrc}, kResultFailed, 3},
        PolicyCase{"read refused", false, {A::kRefused, A::kRefused, A::kRefused}, kResultFailed, 3},
        PolicyCase{"read busy", false, {A::kBusy, A::kBusy, A::kBusy}, kResultFailed, 3},
        PolicyCase{"read: device failure is a transport fault",
                   false,
                   {A::kFailure, A::kFailure, A::kFailure},
                   kResultTransport,
                   3},
        PolicyCase{"read: nine wrong replies cost no counted attempt", false,
                   Then(Then({A::kWrong}, kNineWrong), {A::kGood}), kResultFailed, 10},
        PolicyCase{"read: a good reply after nine wrong ones", false, Then(kNineWrong, {A::kGood}),
                   kResultDone, 10},
        PolicyCase{"read: wrong replies between counted failures",
                   false,
                   {A::kSilent, A::kWrong, A::kSilent, A::kSilent},
                   kResultTransport,
                   4},
        PolicyCase{"read: a request that did not go out waits for nothing",
                   false,
                   {A::kSilent, A::kUnsentGood, A::kGood},
                   kResultDone,
                   3},
        PolicyCase{"write answered at once", true, {A::kGood}, kResultDone, 1},
        PolicyCase{"write on a silent line: ten attempts", true, {}, kResultTransport, 10},
        PolicyCase{"write: wrong replies are counted attempts", true, Then(kNineWrong, {A::kWrong, A::kGood}),
                   kResultFailed, 10},
        PolicyCase{"write: a good echo on the tenth attempt", true, Then(kNineWrong, {A::kGood}), kResultDone,
                   10},
        PolicyCase{"write with bad checksums then an exception",
                   true,
                   {A::kBadCrc, A::kBadCrc, A::kBadCrc, A::kBadCrc, A::kBadCrc, A::kBadCrc, A::kBadCrc,
                    A::kBadCrc, A::kBadCrc, A::kBusy},
                   kResultFailed,
                   10},
        PolicyCase{"write: the reply is waited for even when the request did not go out",
                   true,
                   {A::kSilent, A::kUnsentGood},
                   kResultDone,
                   2}));

// The reply's shape, byte count and echo go by the request alone, worked
// out once.
TEST(ExpectedReply, EverythingTheReplyGivesBackComesFromTheRequest) {
  struct Case {
    int32_t memoryType;
    uint8_t function;
    bool writing;
    uint16_t quantity;
    ReplyShape shape;
    uint8_t dataBytes;  // looked at for kByteCount only
    bool echoes;
  };
  const Case cases[] = {
      {kMemHoldingRegisters, 3, false, 1, ReplyShape::kByteCount, 2, false},
      {kMemHoldingRegisters, 3, false, 125, ReplyShape::kByteCount, 250, false},
      {kMemHoldingFloat, 3, false, 2, ReplyShape::kByteCount, 4, false},
      {kMemInputRegisters, 4, false, 3, ReplyShape::kByteCount, 6, false},
      {kMemCoils, 1, false, 1, ReplyShape::kByteCount, 1, false},
      {kMemCoils, 1, false, 9, ReplyShape::kByteCount, 2, false},
      {kMemInputs, 2, false, 2040, ReplyShape::kByteCount, 255, false},
      {kMemHoldingRegisters, 6, true, 0x1234, ReplyShape::kWriteEcho, 0, true},
      {kMemHoldingFloat, 16, true, 2, ReplyShape::kWriteEcho, 0, true},
      {kMemReport, 65, false, 7, ReplyShape::kReport, 0, true},
      {kMemReport, 65, true, 7, ReplyShape::kReport, 0, true},
      {kMemReport, 3, false, 1, ReplyShape::kByteCount, 2,
       false},  // only function 65 fetches a report packet
      {kMemHoldingRegisters, 65, false, 1, ReplyShape::kByteCount, 2, false},
  };
  for (const Case& c : cases) {
    GateTransfer gate{};
    gate.plc = 0x1F7;  // the frame carries the low byte
    gate.memoryType = c.memoryType;
    const uint8_t request[] = {
        0xF7, c.function, 0, 0, static_cast<uint8_t>(c.quantity >> 8), static_cast<uint8_t>(c.quantity)};
    const ExpectedReply expected = ExpectedReplyFor(&gate, request, c.writing);
    const std::string what = "memory type " + std::to_string(c.memoryType) + ", function " +
                             std::to_string(c.function) + ", quantity " + std::to_string(c.quantity);
    EXPECT_EQ(expected.station, 0xF7) << what;
    EXPECT_EQ(expected.function, c.function) << what;
    EXPECT_EQ(expected.shape, c.shape) << what;
    if (c.shape == ReplyShape::kByteCount) {
      EXPECT_EQ(expected.dataBytes, c.dataBytes) << what;
    }
    EXPECT_EQ(expected.echoesRequest, c.echoes) << what;
  }
}

}  // namespace
