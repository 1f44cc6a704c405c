// A station that answers every request in order but late, by a part or a
// multiple of the reply timeout: no value may land in another gate, no
// report packet in another place, and every result says what happened.
// Modbus RTU carries no transaction number, so this rests on the driver's
// timing (the quiet line after a failed attempt) and on every field a reply
// gives back matching its request.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "host/zelpro/zelpro_host.h"
#include "tests/support/host_session.h"
#include "tests/support/late_device.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "transfer/value_area.h"

using namespace kovrin;

namespace {

constexpr uint32_t kReplyTimeout = 10;  // 100 ms
constexpr int kReplyTimeoutMs = 100;

enum class Kind { kReads, kBlockReads, kWrites, kBitWrite, kReport };

struct LateCase {
  const char* what;
  Kind kind;
  double late;  // x the reply timeout
};

void PrintTo(const LateCase& c, std::ostream* out) { *out << c.what << ", " << c.late << " x the timeout"; }

class LateReplyTest : public ::testing::TestWithParam<LateCase> {
 protected:
  void SetUp() override {
    const LateCase& c = GetParam();
    device_ =
        std::make_unique<LateDevice>(std::chrono::milliseconds(static_cast<int>(c.late * kReplyTimeoutMs)));
    std::filesystem::current_path(dir_.path());
    std::memset(&session_.instance(), 0xCD, sizeof(VpiInstance));
    ASSERT_EQ(session_.Start(device_->portName(), kReplyTimeout), kResultDone);
  }
  void TearDown() override {
    session_.Close();
    ZelHostClearGates();
  }

  // A single int16 read; the value, or -1 when the read failed.
  int ReadRegister(const char* gas) {
    uint8_t values[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    const int32_t result = session_.Read(gas, kGateInt16, values);
    results_.push_back(result);
    return result == kResultDone ? LoadLe16(values + 2) : -1;
  }
  int32_t WriteRegister(const char* gas, int32_t gateType, uint16_t value) {
    uint8_t values[4] = {0, 0, 0, 0};
    StoreLe16(values + 2, value);
    const int32_t result = session_.Write(gas, gateType, values);
    results_.push_back(result);
    return result;
  }

  TempDir dir_;
  LogCapture log_;
  std::unique_ptr<LateDevice> device_;
  HostSession session_;
  std::vector<int32_t> results_;
};

TEST_P(LateReplyTest, NoValueLandsInTheWrongPlace) {
  const LateCase& c = GetParam();
  switch (c.kind) {
    case Kind::kReads:
      // Holding registers 1 and 3 are words 0 and 2 on the wire.
      for (int round = 0; round < 2; ++round) {
        for (const auto& [gas, value] : {std::pair{"0140001", 1000}, std::pair{"0140003", 1002}}) {
          const int got = ReadRegister(gas);
          if (got != -1) {
            EXPECT_EQ(got, value) << gas << ", round " << round;
          }
        }
      }
      break;
    case Kind::kBlockReads:
      for (const auto& [gas, count, first] :
           {std::tuple{"0140001", 4, 1000}, std::tuple{"0140011", 2, 1010}, std::tuple{"0140001", 4, 1000}}) {
        uint8_t values[16];
        std::memset(values, 0xAA, sizeof values);
        const int32_t result = session_.Read(gas, kGateInt16, values, count);
        results_.push_back(result);
        for (int i = 0; result == kResultDone && i < count; ++i) {
          EXPECT_EQ(LoadLe16(values + 2 * i), first + i) << gas << " value " << i;
        }
      }
      break;
    case Kind::kWrites: {
      const int32_t first = WriteRegister("0140005", kGateInt16, 77);
      const int32_t second = WriteRegister("0140006", kGateInt16, 88);
      const int back = ReadRegister("0140005");
      if (first == kResultDone && back != -1) {
        EXPECT_EQ(back, 77);
      }
      if (first == kResultDone) {
        EXPECT_EQ(device_->Register(4), 77);
      }
      if (second == kResultDone) {
        EXPECT_EQ(device_->Register(5), 88);
      }
      const int other = ReadRegister("0140001");
      if (other != -1) {
        EXPECT_EQ(other, 1000);
      }
      break;
    }
    case Kind::kBitWrite: {
      // Bit 5 of holding register 10 (word 9): the write carries the
      // register's other bits as the pre-read found them.
      const uint16_t before = device_->Register(9);
      const int32_t result = WriteRegister("01400105", kGateDigital, 1);
      const uint16_t after = device_->Register(9);
      if (result == kResultDone) {
        EXPECT_EQ(after, before | 0x20);
      } else {
        EXPECT_TRUE(after == before || after == (before | 0x20)) << after;
      }
      const int other = ReadRegister("0140003");
      if (other != -1) {
        EXPECT_EQ(other, 1002);
      }
      break;
    }
    case Kind::kReport: {
      const char* lines[] = {"R0101001", "R0101002", "R0101003", "R0101004", "R0101005"};
      for (const char* line : lines) ZelHostAddGate(line);
      const int32_t result = WriteRegister("!R01", kGateRegisterOrTrigger, 1);
      if (result == kResultDone) {
        std::string text;
        for (const char* line : lines) {
          char piece[256];
          ASSERT_TRUE(ZelHostGateText(line, piece, sizeof piece));
          text += piece;
        }
        const std::string report = LateDevice::ReportText(9101);
        EXPECT_EQ(text, report.substr(0, report.size() - 1)) << "a packet stored twice or out of place";
      }
      const int other = ReadRegister("0140003");
      if (other != -1) {
        EXPECT_EQ(other, 1002);
      }
      break;
    }
  }
  // A device that answers within the timeout is served without a failure.
  if (c.late < 1.0) {
    for (const int32_t result : results_) EXPECT_EQ(result, kResultDone);
  }
  for (const int32_t result : results_) EXPECT_TRUE(result >= 0 && result <= 2) << result;
}

#define LATE_CASES(what, kind)                                                                \
  LateCase{what, kind, 0.5}, LateCase{what, kind, 1.0}, LateCase{what, kind, 1.4}, LateCase { \
    what, kind, 1.9                                                                           \
  }

INSTANTIATE_TEST_SUITE_P(Lateness, LateReplyTest,
                         ::testing::Values(LATE_CASES("reads of two registers in turn", Kind::kReads),
                                           LATE_CASES("block reads", Kind::kBlockReads),
                                           LATE_CASES("writes and a read back", Kind::kWrites),
                                           LATE_CASES("a bit's read-modify-write", Kind::kBitWrite),
                                           LATE_CASES("a report fetch", Kind::kReport)));

}  // namespace
