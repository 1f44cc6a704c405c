// BlockAddressParser (command 4): the size limits of each area (inclusive),
// no bit numbers, and no report forms.

#include <gtest/gtest.h>

#include "tests/address/parser_harness.h"

namespace {

class BlockParser : public ::testing::TestWithParam<Case> {
 protected:
  ParserHarness harness_;
};

TEST_P(BlockParser, ChecksSizeAgainstArea) {
  const Case& c = GetParam();
  harness_.Configure(c.station);
  ExpectCase(harness_.Block(c.gas, c.input), c);
}

constexpr ExpectedLog kOver2000{32, "KOVRIN> BlockParse() blocksize should be < 2000!"};
constexpr ExpectedLog kOver125{32, "KOVRIN> BlockParse() blocksize should be < 125"};
constexpr ExpectedLog kOver62{32, "KOVRIN> BlockParse() blocksize should be < 62"};
constexpr ExpectedLog kNoBits{32, "KOVRIN> BlockParse() no spec. digital gates as block!"};

INSTANTIATE_TEST_SUITE_P(Limits, BlockParser,
                         ::testing::Values(Case{"0100001", kModbusD, 2000, 0, {1, 0, 0, -1, 1}, kNoLog},
                                           Case{"0100001", kModbusD, 2001, 1, {1, 0, 0, -1, 1}, kOver2000},
                                           Case{"0110001", kModbusD, 2000, 0, {1, 1, 0, -1, 1}, kNoLog},
                                           Case{"0110001", kModbusD, 2001, 1, {1, 1, 0, -1, 1}, kOver2000},
                                           Case{"0130001", kModbusD, 125, 0, {1, 3, 0, -1, 16}, kNoLog},
                                           Case{"0130001", kModbusD, 126, 1, {1, 3, 0, -1, 16}, kOver125},
                                           Case{"0130001", kJbusH, 126, 1, {1, 3, 1, -1, 16}, kOver125},
                                           Case{"0170003", kModbusD, 62, 0, {1, 7, 1, -1, 32}, kNoLog},
                                           Case{"0170003", kModbusD, 63, 1, {1, 7, 1, -1, 32}, kOver62},
                                           Case{"0150001", kModbusD, 63, 1, {1, 5, 0, -1, 32}, kOver62},
                                           Case{"0160001", kModbusD, 63, 1, {1, 6, 0, -1, 32}, kOver62},
                                           Case{"0180001", kModbusD, 62, 0, {1, 8, 0, -1, 32}, kNoLog},
                                           Case{"0170002", kModbusDLong, 62, 0, {1, 7, 1, -1, 32}, kNoLog}));

// Holding registers and register bytes have no limit here; sizes below 1
// are not checked either.
INSTANTIATE_TEST_SUITE_P(Unlimited, BlockParser,
                         ::testing::Values(Case{"0140010", kModbusD, 500, 0, {1, 4, 9, -1, 16}, kNoLog},
                                           Case{"0140010", kModbusD, 100000, 0, {1, 4, 9, -1, 16}, kNoLog},
                                           Case{"01L0001", kModbusH, 126, 0, {1, 260, 0, -1, 16}, kNoLog},
                                           Case{"01H0001", kModbusH, 5000, 0, {1, 516, 0, -1, 16}, kNoLog},
                                           Case{"0130001", kModbusD, 0, 0, {1, 3, 0, -1, 16}, kNoLog},
                                           Case{"0170003", kModbusD, -5, 0, {1, 7, 1, -1, 32}, kNoLog}));

INSTANTIATE_TEST_SUITE_P(
    Refusals, BlockParser,
    ::testing::Values(
        Case{"01400105", kModbusD, 1, 1, {1, 4, 9, 5, 1}, kNoBits},
        Case{"01800015", kModbusD, 1, 1, {1, 8, 0, 5, 32}, kNoBits},
        Case{"0AL0001F", kModbusH, 1, 1, {10, 260, 0, 15, 1}, kNoBits},
        Case{"0170002",
             kModbusD,
             1,
             1,
             {1, 7, 1, -1, 32},
             {32, "KOVRIN> Parse() 32 bit gates must have ODD address for MODBUS"}},
        // no report forms in blocks
        Case{"R0101001", kModbusD, 1, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #0, R in 'R0101001'"}},
        Case{"r0101001", kModbusD, 1, 1, kUntouched, {8, "KOVRIN> Parse() illegal char #0, r in 'r0101001'"}},
        Case{"!R01", kModbusD, 1, 1, kUntouched, {32, "KOVRIN> Parse() Wrong size of gas, '!R01'"}}));

}  // namespace
