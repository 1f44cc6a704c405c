// The report address forms of single gates: report triggers on gate type 0
// and report lines on gate type 7, in the decimal and hexadecimal bases.

#include <gtest/gtest.h>

#include <cstdio>

#include "address/gas_parser.h"
#include "address/report_address.h"
#include "host_interface/host_library.h"
#include "tests/support/log_capture.h"
#include "tests/address/parser_harness.h"

using namespace kovrin;

namespace {

class ReportAddress : public ::testing::TestWithParam<Case> {
 protected:
  ParserHarness harness_;
};

TEST_P(ReportAddress, ParsesOrRefuses) {
  const Case& c = GetParam();
  harness_.Configure(c.station);
  ExpectCase(harness_.Single(c.gas, c.input), c);
}

constexpr int32_t U = kUnwritten;
constexpr int32_t kTrigger = 0;
constexpr int32_t kLine = 7;

constexpr Fields Report(int32_t plc) { return {plc, 65, 0, -1, 16}; }
// Refused before the plc was stored: only bit and width are written.
constexpr Fields kBitAndWidth{U, U, U, -1, 16};
// Refused after the plc: report number out of range.
constexpr Fields PlcOnly(int32_t plc) { return {plc, U, U, -1, 16}; }

INSTANTIATE_TEST_SUITE_P(
    Triggers, ReportAddress,
    ::testing::Values(
        Case{"!r05", kModbusD, kTrigger, 0, Report(5), kNoLog},
        Case{"!R05", kJbusD, kTrigger, 0, Report(5), kNoLog},
        Case{"!R99", kModbusD, kTrigger, 0, Report(99), kNoLog},
        Case{"!R12", kModbusL, kTrigger, 0, Report(12), kNoLog},
        Case{"!R00", kModbusD, kTrigger, 1, kBitAndWidth, {8, "KOVRIN> Parse() illegal PLC address, '!R00'"}},
        // the message shows the second character upper-cased
        Case{"!r00", kModbusD, kTrigger, 1, kBitAndWidth, {8, "KOVRIN> Parse() illegal PLC address, '!R00'"}},
        Case{"!R5", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!R005", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!R", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!r", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!r0140010", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!R0a", kModbusH, kTrigger, 1, kBitAndWidth, kNoLog},
        // scanf would read these as 5; the digits must be digits
        Case{"!R 5", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!R+5", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{"!R-1", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        Case{std::string("!R\xB0") + "5", kModbusD, kTrigger, 1, kBitAndWidth, kNoLog},
        // in a decimal base a letter is no digit, although scanf stops there
        Case{"!R1A",
             kModbusD,
             kTrigger,
             1,
             kBitAndWidth,
             {8, "KOVRIN> Parse() illegal PLC address, '!R1A'"}}));

INSTANTIATE_TEST_SUITE_P(TriggersInBaseH, ReportAddress,
                         ::testing::Values(Case{"!R0A", kModbusH, kTrigger, 0, Report(10), kNoLog},
                                           Case{"!R10", kModbusH, kTrigger, 0, Report(16), kNoLog},
                                           Case{"!rFF", kJbusH, kTrigger, 0, Report(255), kNoLog},
                                           Case{"!R00",
                                                kModbusH,
                                                kTrigger,
                                                1,
                                                kBitAndWidth,
                                                {8, "KOVRIN> Parse() illegal PLC address, '!R00'"}}));

// Not beginning with '!' and 'R': parsed as an ordinary GAS instead, after
// the trigger parser stored bit and width.
INSTANTIATE_TEST_SUITE_P(
    NoTriggers, ReportAddress,
    ::testing::Values(
        Case{"", kModbusD, kTrigger, 1, kBitAndWidth, {32, "KOVRIN> Parse() Wrong size of gas, ''"}},
        Case{"!", kModbusD, kTrigger, 1, kBitAndWidth, {32, "KOVRIN> Parse() Wrong size of gas, '!'"}},
        Case{"!x05", kModbusD, kTrigger, 1, kBitAndWidth, {32, "KOVRIN> Parse() Wrong size of gas, '!x05'"}},
        Case{"R!05", kModbusD, kTrigger, 1, kBitAndWidth, {32, "KOVRIN> Parse() Wrong size of gas, 'R!05'"}},
        // '{' upper-cases to '[', and bytes from 0x80 up stay as they are
        Case{"!{05", kModbusD, kTrigger, 1, kBitAndWidth, {32, "KOVRIN> Parse() Wrong size of gas, '!{05'"}},
        Case{std::string("!\xF2") + "05",
             kModbusD,
             kTrigger,
             1,
             kBitAndWidth,
             {32,
              "KOVRIN> Parse() Wrong size of gas, '!\xF2"
              "05'"}},
        Case{std::string("!\xD2") + "05",
             kModbusD,
             kTrigger,
             1,
             kBitAndWidth,
             {32,
              "KOVRIN> Parse() Wrong size of gas, '!\xD2"
              "05'"}}));

INSTANTIATE_TEST_SUITE_P(
    Lines, ReportAddress,
    ::testing::Values(
        Case{"R0116110", kModbusD, kLine, 0, Report(1), kNoLog},
        Case{"r0101001", kModbusD, kLine, 0, Report(1), kNoLog},
        Case{"R9916001", kJbusD, kLine, 0, Report(99), kNoLog},
        Case{"R0116110", kModbusL, kLine, 0, Report(1), kNoLog},
        Case{"R0117001", kModbusD, kLine, 1, PlcOnly(1), {8, "KOVRIN> Parse() illegal address, 'R0117001'"}},
        Case{"R0100001", kModbusD, kLine, 1, PlcOnly(1), {8, "KOVRIN> Parse() illegal address, 'R0100001'"}},
        Case{"R0101000", kModbusD, kLine, 1, Report(1), {8, "KOVRIN> Parse() illegal address, 'R0101000'"}},
        Case{"R0101111", kModbusD, kLine, 1, Report(1), {8, "KOVRIN> Parse() illegal address, 'R0101111'"}},
        Case{"R0001001",
             kModbusD,
             kLine,
             1,
             kBitAndWidth,
             {8, "KOVRIN> Parse() illegal PLC address, 'R0001001'"}},
        // the message shows the first character upper-cased
        Case{"r0001001",
             kModbusD,
             kLine,
             1,
             kBitAndWidth,
             {8, "KOVRIN> Parse() illegal PLC address, 'R0001001'"}},
        // in a decimal base a letter is no digit, although scanf stops there
        Case{"R1A01001",
             kModbusD,
             kLine,
             1,
             kBitAndWidth,
             {8, "KOVRIN> Parse() illegal PLC address, 'R1A01001'"}},
        Case{"R01A1001", kModbusD, kLine, 1, PlcOnly(1), {8, "KOVRIN> Parse() illegal address, 'R01A1001'"}},
        Case{"R01011A0", kModbusL, kLine, 1, Report(1), {8, "KOVRIN> Parse() illegal address, 'R01011A0'"}}));

// Wrong length or a character outside the table: refused without a line.
INSTANTIATE_TEST_SUITE_P(SilentRefusals, ReportAddress,
                         ::testing::Values(Case{"R010100", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"R01011100", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"01400105", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"R0101a01", kModbusH, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"R 101001", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"R+101001", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{"!R010100", kModbusD, kLine, 1, kBitAndWidth, kNoLog},
                                           Case{std::string("\xD2") + "0101001", kModbusD, kLine, 1,
                                                kBitAndWidth, kNoLog},
                                           Case{std::string("R01010") + "\xB1"
                                                                        "1",
                                                kModbusD, kLine, 1, kBitAndWidth, kNoLog}));

// In base H the three numbers are hexadecimal.
INSTANTIATE_TEST_SUITE_P(
    LinesInBaseH, ReportAddress,
    ::testing::Values(
        Case{"R0A10010", kModbusH, kLine, 0, Report(10), kNoLog},
        Case{"R010106E", kModbusH, kLine, 0, Report(1), kNoLog},
        Case{"R0110001", kJbusH, kLine, 0, Report(1), kNoLog},
        Case{"rFF01001", kModbusH, kLine, 0, Report(255), kNoLog},
        Case{"R0101070", kModbusH, kLine, 1, Report(1), {8, "KOVRIN> Parse() illegal address, 'R0101070'"}},
        Case{"R010106F", kModbusH, kLine, 1, Report(1), {8, "KOVRIN> Parse() illegal address, 'R010106F'"}},
        Case{"R0111001", kModbusH, kLine, 1, PlcOnly(1), {8, "KOVRIN> Parse() illegal address, 'R0111001'"}},
        Case{"R0001001",
             kModbusH,
             kLine,
             1,
             kBitAndWidth,
             {8, "KOVRIN> Parse() illegal PLC address, 'R0001001'"}}));

}  // namespace

// The report fetch finds its line gates by the spelling of their addresses:
// whatever it spells, the report line parser must read back as the same
// plc, report and line (in base H only when the spelling is hexadecimal).
struct SpellingCase {
  int plc;
  int report;
  int line;
  bool hex;
  const char* spelt;
};

class ReportLineSpelling : public ::testing::TestWithParam<SpellingCase> {
 protected:
  ParserHarness harness_;
};

TEST_P(ReportLineSpelling, ParsesBackToTheSameLine) {
  const SpellingCase& c = GetParam();
  char address[kReportLineLength + 1];
  SpellReportLineAddress(address, c.plc, c.report, c.line, c.hex);
  EXPECT_STREQ(address, c.spelt);
  harness_.Configure(c.hex ? kModbusH : kModbusD);
  const Outcome outcome = harness_.Single(address, kLine);
  EXPECT_EQ(outcome.result, kResultDone) << address;
  EXPECT_EQ(outcome.fields, Report(c.plc)) << address;
}

INSTANTIATE_TEST_SUITE_P(Lines, ReportLineSpelling,
                         ::testing::Values(SpellingCase{1, 1, 1, false, "R0101001"},
                                           SpellingCase{12, 16, 110, false, "R1216110"},
                                           SpellingCase{99, 9, 57, false, "R9909057"},
                                           SpellingCase{1, 10, 1, true, "R010A001"},
                                           SpellingCase{0x1F, 16, 110, true, "R1F1006E"},
                                           SpellingCase{0xFF, 1, 0x6E, true, "RFF0106E"}));

namespace {

// The station-health form "!S" was no address of any other form in any base
// before it was added: the ordinary parser, the report trigger and the
// report line refuse every "!S" or "!s" with two more characters, and with
// the length of an ordinary address too. So no stored gate changes meaning.
TEST(HealthFormIsNew, NoOtherFormTakesBangS) {
  for (const char base : {'D', 'H', 'L'}) {
    for (const bool longAddr : {false, true}) {
      VpiInstance instance{};
      instance.protocol = 'M';
      instance.base = base;
      instance.flags = longAddr ? kFlagLongAddr : 0;
      LogCapture quiet;  // each refusal logs
      int accepted = 0;
      for (const char s : {'S', 's'}) {
        for (int a = 0x20; a < 0x7F; ++a) {
          for (int b = 0x20; b < 0x7F; ++b) {
            for (const char* tail : {"", "0001"}) {
              char gas[16];
              std::snprintf(gas, sizeof gas, "!%c%c%c%s", s, a, b, tail);
              for (const int32_t gateType : {kGateRegisterOrTrigger, kGateInt16, kGateText}) {
                ParseRequest request{};
                request.gas = gas;
                request.gateType = gateType;
                if (kovrin::Parse(&instance, &request) == kovrin::AddressResult::kAccepted) ++accepted;
                if (kovrin::ParseReportTrigger(&instance, &request) != kovrin::AddressResult::kNotThisForm) {
                  ++accepted;
                }
                if (kovrin::ParseReportLine(&instance, &request) == kovrin::AddressResult::kAccepted)
                  ++accepted;
              }
            }
          }
        }
      }
      EXPECT_EQ(accepted, 0) << "base " << base << (longAddr ? " with LONGADDR" : "");
    }
  }
}

}  // namespace
