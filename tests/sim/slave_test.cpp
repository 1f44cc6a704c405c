// Function semantics, exceptions and the preset pattern of one station.

#include "sim/slave.h"

#include <gtest/gtest.h>

#include "sim/reports.h"
#include "tests/sim/sim_bytes.h"

using namespace kovrin;

namespace {

using namespace simtest;

struct AnswerCase {
  const char* name;
  const char* request;  // without CRC
  const char* answer;   // without CRC
};

const AnswerCase kAnswerCases[] = {
    // Reads of the preset pattern.
    {"holding_registers", "01 03 00 10 00 03", "01 03 06 00 10 00 11 00 12"},
    {"holding_register_top", "01 03 FF FF 00 01", "01 03 02 FF FF"},
    {"input_registers", "01 04 00 00 00 02", "01 04 04 55 55 55 54"},
    {"coils", "01 01 00 00 00 0A", "01 01 02 49 02"},
    {"inputs", "01 02 00 01 00 09", "01 02 02 55 01"},
    {"max_registers", "01 03 00 00 00 7D", nullptr},
    // Quantity rules: exception 3 comes before the address check.
    {"registers_zero", "01 03 00 00 00 00", "01 83 03"},
    {"registers_126", "01 04 00 00 00 7E", "01 84 03"},
    {"bits_2001", "01 01 00 00 07 D1", "01 81 03"},
    {"bits_2000_ok_size", "01 02 00 00 07 D0", nullptr},
    {"past_end", "01 03 FF FF 00 02", "01 83 02"},
    {"bits_past_end", "01 01 FF F0 00 11", "01 81 02"},
    {"bad_quantity_and_past_end", "01 03 FF FF 00 00", "01 83 03"},
    // Writes answer with an echo.
    {"write_coil_on", "01 05 00 07 FF 00", "01 05 00 07 FF 00"},
    {"write_coil_off", "01 05 00 00 00 00", "01 05 00 00 00 00"},
    {"write_coil_bad_value", "01 05 00 00 12 34", "01 85 03"},
    {"write_register", "01 06 00 10 12 34", "01 06 00 10 12 34"},
    {"write_coils", "01 0F 00 10 00 0A 02 FF 03", "01 0F 00 10 00 0A"},
    {"write_coils_byte_count_wrong", "01 0F 00 10 00 0A 01 FF", "01 8F 03"},
    {"write_coils_past_end", "01 0F FF FF 00 02 01 03", "01 8F 02"},
    {"write_registers", "01 10 00 20 00 02 04 AB CD 00 01", "01 10 00 20 00 02"},
    {"write_registers_byte_count_wrong", "01 10 00 20 00 02 02 AB CD", "01 90 03"},
    {"write_registers_124", "01 10 00 00 00 7C F8", "01 90 03"},
    {"write_registers_past_end", "01 10 FF FF 00 02 04 00 00 00 00", "01 90 02"},
    // Functions not offered.
    {"report_slave_id", "01 11", "01 91 01"},
    {"diagnostics", "01 08 00 00 12 34", "01 88 01"},
    {"function_0x41_bad_code", "01 41 23 8C 00 00", "01 C1 02"},
    {"function_0x41_code_9209", "01 41 23 F9 00 00", "01 C1 02"},
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class AnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTest, AnswersAsAModbusSlave) {
  const AnswerCase& c = GetParam();
  sim::Station station(1);
  const Bytes request = HexCrc(c.request);
  const Bytes answer = sim::AnswerRequest(station, request.data(), request.size());
  if (c.answer) {
    EXPECT_EQ(answer, Hex(c.answer));
  } else {
    ASSERT_GE(answer.size(), 3u);
    EXPECT_EQ(answer[1], request[1]) << "no exception expected";
    EXPECT_EQ(answer.size(), 3u + answer[2]);
  }
}

INSTANTIATE_TEST_SUITE_P(Requests, AnswerTest, ::testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SlaveTest, WritesTakeEffectAndRefusalsChangeNothing) {
  sim::Station station(1);
  auto send = [&](const char* hex) {
    const Bytes request = HexCrc(hex);
    return sim::AnswerRequest(station, request.data(), request.size());
  };
  send("01 0F 00 10 00 0A 02 FF 03");
  for (uint16_t a = 0x10; a < 0x1A; ++a) EXPECT_EQ(station.Get(sim::Area::kCoil, a), 1) << a;
  EXPECT_EQ(station.Get(sim::Area::kCoil, 0x1A), sim::PresetValue(sim::Area::kCoil, 0x1A));
  send("01 05 00 00 00 00");
  EXPECT_EQ(station.Get(sim::Area::kCoil, 0), 0);
  send("01 10 00 20 00 02 04 AB CD 00 01");
  EXPECT_EQ(send("01 03 00 20 00 02"), Hex("01 03 04 AB CD 00 01"));
  send("01 10 FF FF 00 02 04 11 11 22 22");  // refused: past the end
  EXPECT_EQ(station.Get(sim::Area::kHoldingRegister, 0xFFFF), 0xFFFF);
  station.Reset();
  EXPECT_EQ(station.Get(sim::Area::kHoldingRegister, 0x20), 0x20);
}

TEST(SlaveTest, BroadcastWritesButDoesNotRead) {
  sim::Station station(5);
  const Bytes write = HexCrc("00 06 00 01 BE EF");
  sim::ExecuteBroadcast(station, write.data(), write.size());
  EXPECT_EQ(station.Get(sim::Area::kHoldingRegister, 1), 0xBEEF);
}

TEST(PresetPatternTest, IsTheDocumentedOne) {
  for (uint32_t n : {0u, 1u, 2u, 3u, 7u, 9u, 0x1234u, 0xFFFFu}) {
    const uint16_t a = static_cast<uint16_t>(n);
    EXPECT_EQ(sim::PresetValue(sim::Area::kCoil, a), n % 3 == 0 ? 1 : 0);
    EXPECT_EQ(sim::PresetValue(sim::Area::kDiscreteInput, a), n % 2);
    EXPECT_EQ(sim::PresetValue(sim::Area::kInputRegister, a), n ^ 0x5555);
    EXPECT_EQ(sim::PresetValue(sim::Area::kHoldingRegister, a), n);
  }
}

// Function 65 ---------------------------------------------------------------

Bytes ReportAnswer(sim::Station& station, uint16_t code, uint16_t packet) {
  Bytes request = {station.address(),
                   0x41,
                   static_cast<uint8_t>(code >> 8),
                   static_cast<uint8_t>(code),
                   static_cast<uint8_t>(packet >> 8),
                   static_cast<uint8_t>(packet)};
  request = WithCrc(request);
  Bytes answer = sim::AnswerRequest(station, request.data(), request.size());
  return WithCrc(answer);
}

// The text the driver would collect: packets until CTRL-Z, at most 64.
std::pair<Bytes, bool> Collect(sim::Station& station, uint16_t code) {
  Bytes text;
  for (uint16_t packet = 0; packet < 64; ++packet) {
    const Bytes answer = ReportAnswer(station, code, packet);
    EXPECT_EQ(answer.size(), sim::kReportReplyLength);
    for (size_t i = 6; i < 134; ++i) {
      if (answer[i] == sim::kReportEnd) return {text, true};
      text.push_back(answer[i]);
    }
  }
  return {text, false};
}

TEST(ReportTest, PacketLayout) {
  sim::Station station(1);
  const Bytes answer = ReportAnswer(station, 9101, 0);
  ASSERT_EQ(answer.size(), 136u);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 6), Hex("01 41 23 8D 00 00"));
  EXPECT_EQ(Crc16(answer.data(), answer.size()), 0);
  EXPECT_EQ(std::string(answer.begin() + 6, answer.begin() + 38), "S001 R9101 LINE 001           \r\n");
  // Report 1 is exactly one packet: CTRL-Z opens packet 1, NUL filler follows.
  const Bytes second = ReportAnswer(station, 9101, 1);
  EXPECT_EQ(second[6], sim::kReportEnd);
  EXPECT_EQ(second[7], 0);
}

TEST(ReportTest, CodesMapToNumbers) {
  EXPECT_EQ(sim::ReportNumberOfCode(9101), 1);
  EXPECT_EQ(sim::ReportNumberOfCode(9108), 8);
  EXPECT_EQ(sim::ReportNumberOfCode(9201), 9);
  EXPECT_EQ(sim::ReportNumberOfCode(9208), 16);
  for (uint16_t bad : {0, 9100, 9109, 9200, 9209}) EXPECT_EQ(sim::ReportNumberOfCode(bad), 0) << bad;
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(sim::ReportNumberOfCode(sim::ReportCodeOfNumber(n)), n);
}

struct TextCase {
  const char* source;
  size_t length;
  bool ended;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.source; }

class SpecialReportTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(SpecialReportTest, ServesTheText) {
  const TextCase& c = GetParam();
  sim::Station station(9);
  sim::ReportText report;
  ASSERT_TRUE(sim::SpecialReport(c.source, &report));
  station.SetReport(16, report);
  const auto [text, ended] = Collect(station, 9208);
  EXPECT_EQ(text.size(), c.length);
  EXPECT_EQ(ended, c.ended);
  EXPECT_EQ(text, Bytes(report.text.begin(), report.text.begin() + static_cast<long>(c.length)));
}

INSTANTIATE_TEST_SUITE_P(Texts, SpecialReportTest,
                         ::testing::Values(TextCase{"empty", 0, true}, TextCase{"exact80", 80, true},
                                           TextCase{"full8192", 8192, false}, TextCase{"nul", 20, true}));

TEST(ReportTest, NulTextKeepsTheNul) {
  sim::ReportText report;
  ASSERT_TRUE(sim::SpecialReport("nul", &report));
  const Bytes packet = sim::ReportPacketText(report, 0);
  EXPECT_EQ(packet[10], 0);
  EXPECT_EQ(packet[11], 'A');
  EXPECT_EQ(packet[20], sim::kReportEnd);
}

TEST(ReportTest, GeneratedReportsGrowWithTheirNumber) {
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(sim::GeneratedReport(3, n).text.size(), 128u * n);
  sim::Station station(3);
  const auto [text, ended] = Collect(station, 9208);
  EXPECT_TRUE(ended);
  EXPECT_EQ(std::string(text.begin() + 32 * 63, text.begin() + 32 * 63 + 19), "S003 R9208 LINE 064");
}

}  // namespace
