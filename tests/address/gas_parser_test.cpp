// The ordinary gate address string: the grammar in the three number bases,
// the address rules of Modbus and J-BUS, 32-bit pairing, what is stored
// before a rejection, every position's characters and strings of any length.
// Run through command 3 with a gate type that the command accepts for the
// area, so that result and log are the parser's own.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "address/gas_parser.h"
#include "tests/address/parser_harness.h"

using namespace kovrin;

namespace {

class GasTable : public ::testing::TestWithParam<Case> {
 protected:
  ParserHarness harness_;
};

TEST_P(GasTable, ParsesOrRefuses) {
  const Case& c = GetParam();
  harness_.Configure(c.station);
  ExpectCase(harness_.Single(c.gas, c.input), c);
}

constexpr int32_t U = kUnwritten;

// The reference rows of the grammar.
INSTANTIATE_TEST_SUITE_P(
    Reference, GasTable,
    ::testing::Values(
        Case{"0140010", kModbusD, 2, 0, {1, 4, 9, -1, 16}, kNoLog},
        Case{"01400105", kModbusD, 6, 0, {1, 4, 9, 5, 1}, kNoLog},
        // the bit number is hexadecimal in every base
        Case{"0140010A", kModbusD, 6, 0, {1, 4, 9, 10, 1}, kNoLog},
        Case{"0100001", kModbusD, 6, 0, {1, 0, 0, -1, 1}, kNoLog},
        Case{"0170003", kModbusD, 3, 0, {1, 7, 1, -1, 32}, kNoLog},
        Case{"0170002",
             kModbusD,
             3,
             1,
             {1, 7, 1, -1, 32},
             {32, "KOVRIN> Parse() 32 bit gates must have ODD address for MODBUS"}},
        Case{"0170002", kJbusD, 3, 0, {1, 7, 1, -1, 32}, kNoLog},
        Case{"0180004", kModbusDLong, 4, 0, {1, 8, 3, -1, 32}, kNoLog},
        Case{"0140000",
             kModbusD,
             2,
             1,
             {1, U, U, U, U},
             {8, "KOVRIN> Parse() illegal addr. 0 for Modbus, '0140000 '"}},
        Case{"0140000", kJbusD, 2, 0, {1, 4, 0, -1, 16}, kNoLog},
        Case{"01L0001",
             kModbusD,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal GAS:'01L0001 ' for decimal base "}},
        Case{"01000015", kModbusD, 6, 1, kUntouched, {32, "KOVRIN> Parse() illegal GAS:'01000015'"}},
        Case{"0120001", kModbusD, 2, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #2, 2 in '0120001 '"}},
        Case{"012000", kModbusD, 2, 1, kUntouched, {32, "KOVRIN> Parse() Wrong size of gas, '012000'"}},
        // in base D the eighth character is the bit number
        Case{"01412345", kModbusD, 6, 0, {1, 4, 1233, 5, 1}, kNoLog},
        Case{"1F4A00C", kModbusH, 2, 0, {31, 4, 40971, -1, 16}, kNoLog},
        Case{"0AL0001F", kModbusH, 6, 0, {10, 260, 0, 15, 1}, kNoLog},
        Case{"0a40001", kModbusH, 2, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #1, a in '0a40001 '"}},
        Case{"01412345", kModbusL, 2, 0, {1, 4, 12344, -1, 16}, kNoLog},
        Case{"014123456", kModbusL, 6, 0, {1, 4, 12344, 6, 1}, kNoLog},
        Case{"0141234 5", kModbusL, 2, 1, kUntouched, {32, "KOVRIN> Parse() illegal GAS:'0141234 5'"}},
        Case{"01600100", kJbusL, 4, 0, {1, 6, 50, -1, 32}, kNoLog}));

// Every memory type character, plc 0, the extremes of each base.
INSTANTIATE_TEST_SUITE_P(
    Areas, GasTable,
    ::testing::Values(
        Case{"0040010", kModbusD, 2, 0, {0, 4, 9, -1, 16}, kNoLog},
        Case{"9910001", kModbusD, 6, 0, {99, 1, 0, -1, 1}, kNoLog},
        Case{"0130001", kModbusD, 2, 0, {1, 3, 0, -1, 16}, kNoLog},
        Case{"01300010", kModbusD, 6, 0, {1, 3, 0, 0, 1}, kNoLog},
        Case{"0150001", kModbusD, 3, 0, {1, 5, 0, -1, 32}, kNoLog},
        Case{"0160003", kModbusD, 4, 0, {1, 6, 1, -1, 32}, kNoLog},
        Case{"0189999", kModbusD, 4, 0, {1, 8, 4999, -1, 32}, kNoLog},
        Case{"0149999", kModbusD, 2, 0, {1, 4, 9998, -1, 16}, kNoLog},
        Case{"0140010 ", kModbusD, 2, 0, {1, 4, 9, -1, 16}, kNoLog},
        Case{"01H0001", kModbusH, 2, 0, {1, 516, 0, -1, 16}, kNoLog},
        Case{"0AH0001F", kModbusH, 6, 0, {10, 516, 0, 15, 1}, kNoLog},
        Case{"FF4FFFF", kModbusH, 2, 0, {255, 4, 65534, -1, 16}, kNoLog},
        Case{"0140000", kJbusH, 2, 0, {1, 4, 0, -1, 16}, kNoLog},
        Case{"014FFFF", kJbusH, 2, 0, {1, 4, 65535, -1, 16}, kNoLog},
        Case{"0180001", kModbusH, 4, 0, {1, 8, 0, -1, 32}, kNoLog},
        Case{"0180010", kJbusH, 4, 0, {1, 8, 8, -1, 32}, kNoLog},
        Case{"01300000", kJbusL, 2, 0, {1, 3, 0, -1, 16}, kNoLog},
        Case{"010999990", kModbusL, 6, 1, kUntouched, {32, "KOVRIN> Parse() illegal GAS:'010999990'"}}));

// The 32-bit pairing without and with LONGADDR.
INSTANTIATE_TEST_SUITE_P(
    LongGates, GasTable,
    ::testing::Values(Case{"0170001", kModbusD, 3, 0, {1, 7, 0, -1, 32}, kNoLog},
                      Case{"0160004",
                           kModbusD,
                           4,
                           1,
                           {1, 6, 3, -1, 32},
                           {32, "KOVRIN> Parse() 32 bit gates must have ODD address for MODBUS"}},
                      Case{"0160003",
                           kJbusD,
                           4,
                           1,
                           {1, 6, 3, -1, 32},
                           {32, "KOVRIN> Parse() 32 bit gates must have EVEN address for J-BUS"}},
                      Case{"0180001",
                           kJbusH,
                           4,
                           1,
                           {1, 8, 1, -1, 32},
                           {32, "KOVRIN> Parse() 32 bit gates must have EVEN address for J-BUS"}},
                      Case{"0170002", kModbusDLong, 3, 0, {1, 7, 1, -1, 32}, kNoLog},
                      Case{"0160003", kJbusDLong, 4, 0, {1, 6, 3, -1, 32}, kNoLog},
                      Case{"0150000",
                           kModbusDLong,
                           3,
                           1,
                           {1, U, U, U, U},
                           {8, "KOVRIN> Parse() illegal addr. 0 for Modbus, '0150000 '"}}));

// Refusals, in the order the checks run, and what was stored before them.
INSTANTIATE_TEST_SUITE_P(
    Refusals, GasTable,
    ::testing::Values(
        Case{"0190001", kModbusD, 2, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #2, 9 in '0190001 '"}},
        Case{"01l0001", kModbusH, 2, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #2, l in '01l0001 '"}},
        Case{"01h0001", kModbusH, 2, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #2, h in '01h0001 '"}},
        Case{"0140a01", kModbusH, 2, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #4, a in '0140a01 '"}},
        Case{"0140001f", kModbusH, 6, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #7, f in '0140001f'"}},
        Case{"01L00001",
             kModbusL,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal GAS:'01L00001 ' for decimal base "}},
        Case{"0A40001",
             kModbusD,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal GAS:'0A40001 ' for decimal base "}},
        Case{"014000A",
             kJbusD,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal GAS:'014000A ' for decimal base "}},
        Case{"01400A01",
             kJbusL,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal GAS:'01400A01 ' for decimal base "}},
        // both last positions blank: no gap rule, but position 7 is no digit
        Case{"0141234  ",
             kModbusL,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal GAS:'0141234  ' for decimal base "}},
        Case{"01100015", kModbusH, 6, 1, kUntouched, {32, "KOVRIN> Parse() illegal GAS:'01100015'"}},
        Case{"0140000",
             kModbusH,
             2,
             1,
             {1, U, U, U, U},
             {8, "KOVRIN> Parse() illegal addr. 0 for Modbus, '0140000 '"}},
        Case{"01000000",
             kModbusL,
             6,
             1,
             {1, U, U, U, U},
             {8, "KOVRIN> Parse() illegal addr. 0 for Modbus, '01000000 '"}}));

// Register addresses travel in 16 bits: a long decimal address that does not
// fit is refused instead of addressing another register.
INSTANTIATE_TEST_SUITE_P(
    LongDecimalRange, GasTable,
    ::testing::Values(
        Case{"014655361", kModbusL, 6, 0, {1, 4, 65535, 1, 1}, kNoLog},
        Case{"01465535", kJbusL, 2, 0, {1, 4, 65535, -1, 16}, kNoLog},
        Case{
            "01465537", kModbusL, 2, 1, {1, U, U, U, U}, {8, "KOVRIN> Parse() illegal address, '01465537 '"}},
        Case{"01465536", kJbusL, 2, 1, {1, U, U, U, U}, {8, "KOVRIN> Parse() illegal address, '01465536 '"}},
        Case{"014999995", kJbusL, 6, 1, {1, U, U, U, U}, {8, "KOVRIN> Parse() illegal address, '014999995'"}},
        Case{"01865535", kModbusL, 4, 0, {1, 8, 32767, -1, 32}, kNoLog}));

// Each position allows exactly its characters, in every base, for every
// byte value: lower-case letters and bytes from 0x80 up included.
TEST(GasCharacters, EveryPositionAllowsExactlyItsCharacters) {
  const std::string hex = "0123456789ABCDEF";
  const std::string type = "01345678LH";
  const std::string bit = hex + " ";
  struct Layout {
    Station station;
    std::string valid;
    std::vector<std::string> allowed;
  };
  const Layout layouts[] = {
      {kModbusD, "01400015", {hex, hex, type, hex, hex, hex, hex, bit}},
      {kJbusH, "01400015", {hex, hex, type, hex, hex, hex, hex, bit}},
      {kModbusL, "014000015", {hex, hex, type, hex, hex, hex, hex, bit, bit}},
  };
  ParserHarness harness;
  for (const Layout& layout : layouts) {
    harness.Configure(layout.station);
    for (unsigned position = 0; position < layout.allowed.size(); ++position) {
      for (int byte = 1; byte < 256; ++byte) {
        std::string gas = layout.valid;
        gas[position] = static_cast<char>(byte);
        SCOPED_TRACE(Describe(layout.station) + " '" + Printable(gas) + "'");
        const Outcome got = harness.Run(4, gas.c_str(), 0, 1);
        if (layout.allowed[position].find(static_cast<char>(byte)) == std::string::npos) {
          const std::string message = "KOVRIN> Parse() illegal char #" + std::to_string(position) + ", " +
                                      static_cast<char>(byte) + " in '" + gas + "'";
          EXPECT_EQ(got.result, 1);
          EXPECT_EQ(got.fields, kUntouched);
          EXPECT_EQ(got.log, (std::vector<LogLine>{{8, message}}));
        } else {
          for (const LogLine& line : got.log) {
            EXPECT_EQ(line.text.find("illegal char"), std::string::npos) << line.text;
          }
        }
      }
    }
  }
}

struct SizeCase {
  Station station;
  std::string gas;
};

std::string Repeat(const std::string& piece, size_t length) {
  std::string text;
  while (text.size() < length) text += piece;
  return text.substr(0, length);
}

// Any other length is refused before anything is stored, by both commands;
// a long string is shown cut to its first 80 characters.
TEST(GasSizes, WrongSizesAreRefusedWhateverTheirLength) {
  const SizeCase cases[] = {
      {kModbusD, ""},
      {kModbusD, "0"},
      {kModbusD, "014001"},
      {kModbusD, "014000105"},
      {kModbusD, "0140001050"},
      {kModbusD, Repeat("0140001", 300)},
      {kJbusH, ""},
      {kJbusH, "F"},
      {kJbusH, "0AL001"},
      {kJbusH, "0AL00010F"},
      {kJbusH, Repeat("\xFF", 300)},
      {kModbusL, ""},
      {kModbusL, "0"},
      {kModbusL, "014001"},
      {kModbusL, "0140001"},
      {kModbusL, "0140000105"},
      {kModbusL, Repeat("\x81\xC3\xA9"
                        "014",
                        300)},
  };
  ParserHarness harness;
  for (const SizeCase& c : cases) {
    harness.Configure(c.station);
    const std::string shown = c.gas.substr(0, 80);
    const std::vector<LogLine> expected = {{32, "KOVRIN> Parse() Wrong size of gas, '" + shown + "'"}};
    for (const uint32_t command : {3u, 4u}) {
      SCOPED_TRACE(Describe(c.station) + " command " + std::to_string(command) + " size " +
                   std::to_string(c.gas.size()));
      const Outcome got = harness.Run(command, c.gas.c_str(), 2, 1);
      EXPECT_EQ(got.result, 1);
      EXPECT_EQ(got.fields, kUntouched);
      EXPECT_EQ(got.log, expected);
    }
  }
}

TEST(GasSizes, NullStringIsAnEmptyOne) {
  ParserHarness harness;
  harness.Configure(kModbusD);
  const Outcome got = harness.Run(4, nullptr, 0, 1);
  EXPECT_EQ(got.result, 1);
  EXPECT_EQ(got.log, (std::vector<LogLine>{{32, "KOVRIN> Parse() Wrong size of gas, ''"}}));
}

// The short form is completed in a private copy: the host's text, and the
// bytes after its end, stay as they were.
TEST(GasSizes, HostStringIsOnlyRead) {
  char host[16];
  std::memcpy(host, "0140010\0XYZWVUT", sizeof host);
  char before[16];
  std::memcpy(before, host, sizeof host);
  ParserHarness harness;
  harness.Configure(kModbusD);
  EXPECT_EQ(harness.Run(3, host, 2, 1).result, 0);
  EXPECT_EQ(harness.Run(4, host, 0, 1).result, 0);
  EXPECT_EQ(std::memcmp(host, before, sizeof host), 0);
}

TEST(UpcaseAscii, SignedByteRule) {
  struct Pair {
    unsigned char in;
    unsigned char out;
  };
  const Pair pairs[] = {
      {'a', 'A'}, {'r', 'R'},  {'z', 'Z'},   {'A', 'A'},   {'R', 'R'},   {'`', '`'},
      {'!', '!'}, {'0', '0'},  {0, 0},       {'{', '['},   {'|', '\\'},  {'}', ']'},
      {'~', '^'}, {0x7F, '_'}, {0x80, 0x80}, {0xE1, 0xE1}, {0xF2, 0xF2}, {0xFF, 0xFF},
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(static_cast<unsigned char>(UpcaseAscii(static_cast<char>(p.in))), p.out)
        << "byte " << static_cast<int>(p.in);
  }
}

}  // namespace
