// Report fetch with function 65 and the distribution of its text.

#include "host_interface/host_library.h"
#include "host/zelpro/zelpro_host.h"
#include "tests/transfer/transfer_fixture.h"

namespace {

// Packet `packet` of a report whose bytes are text (CTRL-Z included when the
// report has an end).
Bytes ReportPacket(const Bytes& request, const std::string& text) {
  Bytes reply(request.begin(), request.begin() + 6);
  const size_t packet = static_cast<size_t>((request[4] << 8) | request[5]);
  for (size_t i = 0; i < 128; ++i) {
    const size_t at = packet * 128 + i;
    reply.push_back(at < text.size() ? static_cast<uint8_t>(text[at]) : 0x20);
  }
  return WithCrc(reply);
}

std::string Text(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>('A' + i % 26);
  return text;
}

class ReportTest : public TransferTest {
 protected:
  void StartReport(const std::string& report) {
    Start([report](const Bytes& r, int) { return ReportPacket(r, report); });
  }
  void TearDown() override {
    ZelHostClearGates();
    ZelHostFailPutsAfter(-1);
    TransferTest::TearDown();
  }
  int32_t Fetch(int report, int plc = 1, const char* gas = "!R01") {
    Bytes values = {0, 0, static_cast<uint8_t>(report), static_cast<uint8_t>(report >> 8)};
    return Transfer(kCmdSingleWrite, Gate{.plc = plc, .memoryType = 65, .gateType = 0, .gas = gas},
                    values.data());
  }
  int Puts() const { return ZelHostPutCount() - putsBefore_; }
  static std::string GateText(const char* address) {
    char text[256];
    EXPECT_TRUE(ZelHostGateText(address, text, sizeof text)) << address;
    return text;
  }
  const int putsBefore_ = ZelHostPutCount();
};

TEST_F(ReportTest, RequestFramesCarryReportCodeAndPacket) {
  StartReport(Text(200) + "\x1A");
  EXPECT_EQ(Fetch(1), kResultDone);
  const std::vector<Bytes> requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], (Bytes{0x01, 0x41, 0x23, 0x8D, 0x00, 0x00, 0xA6, 0x6A}));
  EXPECT_EQ(requests[1], (Bytes{0x01, 0x41, 0x23, 0x8D, 0x00, 0x01, 0x67, 0xAA}));
}

TEST_F(ReportTest, ReportSixteenFromPlcFive) {
  StartReport("\x1A");
  EXPECT_EQ(Fetch(16, 5, "!r05"), kResultDone);
  EXPECT_EQ(Requests()[0], (Bytes{0x05, 0x41, 0x23, 0xF8, 0x00, 0x00, 0xB6, 0x34}));
}

TEST_F(ReportTest, PiecesGoToExistingLinesInOrder) {
  for (const char* a : {"R0101001", "R0101002", "R0101005", "R0102001"}) ZelHostAddGate(a);
  StartReport(Text(200) + "\x1A" + "ignored");
  EXPECT_EQ(Fetch(1), kResultDone);
  const std::string text = Text(200);
  EXPECT_EQ(GateText("R0101001"), text.substr(0, 80));
  EXPECT_EQ(GateText("R0101002"), text.substr(80, 80));
  EXPECT_EQ(GateText("R0101005"), text.substr(160));
  EXPECT_EQ(GateText("R0102001"), "");
  EXPECT_EQ(Puts(), 3);
  EXPECT_FALSE(
      log_.Contains("KOVRIN> SingleWrite(),can't supply full Report 1 from plc 1 (not enough TAGs)"));
}

struct TextCase {
  const char* name;
  std::string report;
  std::vector<std::string> expected;  // texts of lines 1, 2, 3
  bool warning;
};

class ReportTexts : public ReportTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ReportTexts, Distribution) {
  const TextCase& c = GetParam();
  for (const char* a : {"R0101001", "R0101002", "R0101003"}) ZelHostAddGate(a);
  // Text left from an earlier, longer report is cleared.
  for (const char* a : {"R0101001", "R0101002", "R0101003"}) {
    int32_t id = ZelHostAddGate(a);
    ZelPutGateStr(0, id, 2, "old", 0, 0);
  }
  StartReport(c.report);
  EXPECT_EQ(Fetch(1), kResultDone);
  EXPECT_EQ(GateText("R0101001"), c.expected[0]);
  EXPECT_EQ(GateText("R0101002"), c.expected[1]);
  EXPECT_EQ(GateText("R0101003"), c.expected[2]);
  EXPECT_EQ(log_.Contains("KOVRIN> SingleWrite(),can't supply full Report 1 from plc 1 (not enough TAGs)"),
            c.warning);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReportTexts,
    ::testing::Values(TextCase{"Empty", "\x1A", {"", "", ""}, false},
                      TextCase{"ExactlyOnePiece", Text(80) + "\x1A", {Text(80), "", ""}, false},
                      TextCase{"LineBreaksAreCopied", "ab\r\ncd\x1A", {"ab\r\ncd", "", ""}, false},
                      TextCase{"NulEndsTheText", std::string("abc\0def\x1A", 8), {"abc", "", ""}, false},
                      TextCase{"MoreThanTheGatesHold",
                               Text(300) + "\x1A",
                               {Text(300).substr(0, 80), Text(300).substr(80, 80), Text(300).substr(160, 80)},
                               true}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST_F(ReportTest, NoGatesAtAllWarns) {
  StartReport("text\x1A");
  EXPECT_EQ(Fetch(3), kResultDone);
  EXPECT_TRUE(log_.Contains("KOVRIN> SingleWrite(),can't supply full Report 3 from plc 1 (not enough TAGs)"));
}

TEST_F(ReportTest, SixtyFourPacketsWithoutEndDistributeNothing) {
  ZelHostAddGate("R0101001");
  StartReport(Text(64 * 128 + 10));
  EXPECT_EQ(Fetch(1), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 64);
  EXPECT_TRUE(log_.Contains("KOVRIN> SingleWrite(),wasn't received End of Report 1, plc 1 (CTRL-Z)"));
  EXPECT_EQ(Puts(), 0);
}

TEST_F(ReportTest, LongestReportFitsTheBuffer) {
  std::vector<std::string> lines;
  for (int line = 1; line <= 110; ++line) {
    char address[9];
    std::snprintf(address, sizeof address, "R0101%03d", line);
    ZelHostAddGate(address);
  }
  StartReport(Text(64 * 128 - 1) + "\x1A");
  EXPECT_EQ(Fetch(1), kResultDone);
  EXPECT_EQ(GateText("R0101103"), Text(64 * 128 - 1).substr(102 * 80));
  EXPECT_EQ(GateText("R0101104"), "");
}

TEST_F(ReportTest, ReportNumbersOutsideRangeSendNothing) {
  StartReport("\x1A");
  EXPECT_EQ(Fetch(0), kResultFailed);
  EXPECT_EQ(Fetch(17), kResultFailed);
  EXPECT_EQ(device_->RequestCount(), 0);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ReportTest, FailedPacketEndsTheFetch) {
  ZelHostAddGate("R0101001");
  Start([](const Bytes& r, int i) { return i < 1 ? ReportPacket(r, Text(300)) : Bytes(); });
  EXPECT_EQ(Fetch(2), kResultTransport);
  EXPECT_TRUE(log_.Contains("KOVRIN> SingleWrite(),bad packet 1: Report 2, plc 1, rc 2"));
  EXPECT_EQ(Puts(), 0);
}

TEST_F(ReportTest, HostRefusingATextStopsTheDistribution) {
  for (const char* a : {"R0101001", "R0101002"}) ZelHostAddGate(a);
  ZelHostFailPutsAfter(1);
  StartReport(Text(200) + "\x1A");
  EXPECT_EQ(Fetch(1), kResultFailed);
  EXPECT_EQ(GateText("R0101001"), Text(80));
  EXPECT_EQ(GateText("R0101002"), "");
}

TEST_F(ReportTest, DecimalBaseSpellsPlcSixteenInDecimal) {
  ZelHostAddGate("R1601001");
  StartReport("dec\x1A");
  EXPECT_EQ(Fetch(1, 16, "!R16"), kResultDone);
  EXPECT_EQ(GateText("R1601001"), "dec");
}

// In base H stored gate lists spell report-line addresses in decimal, and
// so does the distribution unless HEXREPORTS = YES selects the hexadecimal
// spelling (the address parser's and the dialog's).
struct HexReportCase {
  const char* name;
  const char* initFile;
  int plc;
  int report;
  std::vector<std::string> gates;     // existing report-line gates
  std::vector<std::string> expected;  // their texts, for a text of 3 pieces
};

class HexReportLines : public ReportTest, public ::testing::WithParamInterface<HexReportCase> {};

TEST_P(HexReportLines, GatesAreFoundByTheirHexadecimalNumbers) {
  const HexReportCase& c = GetParam();
  for (const std::string& gate : c.gates) ZelHostAddGate(gate.c_str());
  const std::string text = Text(240);
  Start([text](const Bytes& r, int) { return ReportPacket(r, text + "\x1A"); }, c.initFile);
  EXPECT_EQ(Fetch(c.report, c.plc, "!R01"), kResultDone);
  for (size_t i = 0; i < c.gates.size(); ++i) {
    EXPECT_EQ(GateText(c.gates[i].c_str()), c.expected[i]) << c.gates[i];
  }
}

const char kHexReports[] = "BUS = M , H\nHEXREPORTS = YES\n";
const std::string kPiece1 = Text(240).substr(0, 80);
const std::string kPiece2 = Text(240).substr(80, 80);
const std::string kPiece3 = Text(240).substr(160, 80);

INSTANTIATE_TEST_SUITE_P(
    BaseH, HexReportLines,
    ::testing::Values(
        // Line 10 is 00A, line 16 is 010; the decimal spelling 010 is no
        // longer line 10.
        HexReportCase{"LinesTenAndSixteen",
                      kHexReports,
                      1,
                      1,
                      {"R0101001", "R010100A", "R0101010"},
                      {kPiece1, kPiece2, kPiece3}},
        HexReportCase{"PlcSixteen", kHexReports, 16, 1, {"R1001001", "R1601001"}, {kPiece1, ""}},
        HexReportCase{"ReportEleven", kHexReports, 1, 11, {"R010B001", "R0111001"}, {kPiece1, ""}},
        HexReportCase{"LastLineIs06E",
                      kHexReports,
                      1,
                      16,
                      {"R0110001", "R011006E", "R0116110"},
                      {kPiece1, kPiece2, ""}},
        // The decimal spelling stored gate lists rely on, by default.
        HexReportCase{"DecimalByDefault", "BUS = M , H\n", 1, 10, {"R0110001", "R010A001"}, {kPiece1, ""}},
        HexReportCase{"DecimalLineTen", "BUS = M , H\n", 1, 1, {"R0101010", "R010100A"}, {kPiece1, ""}},
        HexReportCase{"DecimalPlcSixteen", "BUS = M , H\n", 16, 1, {"R1601001", "R1001001"}, {kPiece1, ""}}),
    [](const ::testing::TestParamInfo<HexReportCase>& info) { return info.param.name; });

TEST_F(ReportTest, OnlyTheTriggerFormStartsAFetch) {
  Start([](const Bytes& r, int) { return WriteEcho(r); });
  Bytes values = {0, 0, 1, 0};
  // Type 0 and an ordinary address: a register write.
  EXPECT_EQ(Transfer(kCmdSingleWrite, Gate{.memoryType = 4, .gateType = 0, .gas = "0140001"}, values.data()),
            kResultDone);
  EXPECT_EQ(Requests().back()[1], 0x06);
  // An overlong address string is read no further than needed.
  const std::string longGas = "!r" + std::string(5000, '9');
  EXPECT_EQ(
      Transfer(kCmdSingleWrite, Gate{.memoryType = 65, .gateType = 0, .gas = longGas.c_str()}, values.data()),
      kResultFailed);  // a report fetch; this device answers no function 65
  EXPECT_EQ(Requests().back()[1], 0x41);
}

// A base-H fetch that finds no gate in its spelling says which key selects
// the other.
struct OtherSpellingCase {
  const char* initFile;
  int report;
  const char* gate;  // the only report-line gate, in the other spelling
  const char* message;
};

class OtherSpelling : public ReportTest, public ::testing::WithParamInterface<OtherSpellingCase> {};

TEST_P(OtherSpelling, AFetchThatStoresNoLineNamesIt) {
  const OtherSpellingCase& c = GetParam();
  ZelHostAddGate(c.gate);
  const std::string text = Text(100);
  Start([text](const Bytes& r, int) { return ReportPacket(r, text + "\x1A"); }, c.initFile);
  EXPECT_EQ(Fetch(c.report), kResultDone);
  EXPECT_EQ(log_.Count(c.message), 1) << c.message;
  EXPECT_EQ(GateText(c.gate), "");
}

INSTANTIATE_TEST_SUITE_P(
    BaseH, OtherSpelling,
    ::testing::Values(
        OtherSpellingCase{"BUS = M , H\n", 1, "R010100A",
                          "KOVRIN> SingleWrite(), no report line gate of Report 1, plc 1 spelt in "
                          "decimal; HEXREPORTS = YES spells them in hexadecimal"},
        OtherSpellingCase{kHexReports, 16, "R0116001",
                          "KOVRIN> SingleWrite(), no report line gate of Report 16, plc 1 spelt in "
                          "hexadecimal; HEXREPORTS = NO spells them in decimal"}));

}  // namespace
