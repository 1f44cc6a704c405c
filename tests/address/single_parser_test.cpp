// SingleAddressParser (command 3): which gate types each memory area takes,
// bit numbers, and the choice of grammar by gate type.

#include <gtest/gtest.h>

#include "tests/address/parser_harness.h"

namespace {

class SingleParser : public ::testing::TestWithParam<Case> {
 protected:
  ParserHarness harness_;
};

TEST_P(SingleParser, ChecksGateTypeAgainstArea) {
  const Case& c = GetParam();
  harness_.Configure(c.station);
  ExpectCase(harness_.Single(c.gas, c.input), c);
}

constexpr int32_t U = kUnwritten;
constexpr ExpectedLog kDigital{32, "KOVRIN> SingleParse() gate type should be DIGITAL"};
constexpr ExpectedLog kInt16{32, "KOVRIN> SingleParse() gate type should be 16-bit INTEGER"};
constexpr ExpectedLog kFloat{32, "KOVRIN> SingleParse() gate type should be FLOAT"};
constexpr ExpectedLog kInt32{32, "KOVRIN> SingleParse() gate type should be 32-bit INTEGER"};
constexpr ExpectedLog kLongArea{32, "KOVRIN> SingleParse() no digital gates allowed from long memory area"};

constexpr Fields kCoil{1, 0, 0, -1, 1};
constexpr Fields kInput{1, 1, 0, -1, 1};
constexpr Fields kInputRegister{1, 3, 0, -1, 16};
constexpr Fields kHolding{1, 4, 9, -1, 16};
constexpr Fields kHoldingBit5{1, 4, 9, 5, 1};
constexpr Fields kInputFloat{1, 5, 0, -1, 32};
constexpr Fields kHoldingFloat{1, 7, 1, -1, 32};
constexpr Fields kInputLong{1, 6, 0, -1, 32};
constexpr Fields kHoldingLong{1, 8, 0, -1, 32};
constexpr Fields kHoldingLongBit5{1, 8, 0, 5, 32};

INSTANTIATE_TEST_SUITE_P(BitAreas, SingleParser,
                         ::testing::Values(Case{"0100001", kModbusD, 6, 0, kCoil, kNoLog},
                                           Case{"0100001", kModbusD, 2, 1, kCoil, kDigital},
                                           Case{"0100001", kModbusD, 0, 1, kCoil, kDigital},
                                           Case{"0110001", kModbusD, 6, 0, kInput, kNoLog},
                                           Case{"0110001", kModbusD, 1, 1, kInput, kDigital}));

INSTANTIATE_TEST_SUITE_P(RegisterAreas, SingleParser,
                         ::testing::Values(Case{"0130001", kModbusD, 0, 0, kInputRegister, kNoLog},
                                           Case{"0130001", kModbusD, 1, 0, kInputRegister, kNoLog},
                                           Case{"0130001", kModbusD, 2, 0, kInputRegister, kNoLog},
                                           Case{"0130001", kModbusD, 3, 1, kInputRegister, kInt16},
                                           Case{"0130001", kModbusD, 6, 1, kInputRegister, kInt16},
                                           // gate type 0 with an ordinary GAS is no report trigger
                                           Case{"0140010", kModbusD, 0, 0, kHolding, kNoLog},
                                           Case{"0140010", kModbusD, 5, 1, kHolding, kInt16},
                                           Case{"0140010", kModbusD, 8, 1, kHolding, kInt16},
                                           Case{"0140010", kModbusD, -1, 1, kHolding, kInt16},
                                           Case{"01L0001", kModbusH, 2, 0, {1, 260, 0, -1, 16}, kNoLog},
                                           Case{"01L0001", kModbusH, 3, 1, {1, 260, 0, -1, 16}, kInt16},
                                           Case{"01H0001", kModbusH, 0, 0, {1, 516, 0, -1, 16}, kNoLog},
                                           Case{"01H0001", kModbusH, 6, 1, {1, 516, 0, -1, 16}, kInt16}));

INSTANTIATE_TEST_SUITE_P(RegisterBits, SingleParser,
                         ::testing::Values(Case{"01400105", kModbusD, 6, 0, kHoldingBit5, kNoLog},
                                           Case{"01400105", kModbusD, 2, 1, kHoldingBit5, kDigital},
                                           Case{"01400105", kModbusD, 0, 1, kHoldingBit5, kDigital},
                                           Case{"01400105", kModbusD, 1, 1, kHoldingBit5, kDigital},
                                           Case{"01L0001F", kModbusH, 6, 0, {1, 260, 0, 15, 1}, kNoLog},
                                           Case{"01L0001F", kModbusH, 2, 1, {1, 260, 0, 15, 1}, kDigital}));

INSTANTIATE_TEST_SUITE_P(LongAreas, SingleParser,
                         ::testing::Values(Case{"0150001", kModbusD, 3, 0, kInputFloat, kNoLog},
                                           Case{"0150001", kModbusD, 4, 1, kInputFloat, kFloat},
                                           Case{"0150001", kModbusD, 6, 1, kInputFloat, kLongArea},
                                           Case{"0170003", kModbusD, 3, 0, kHoldingFloat, kNoLog},
                                           Case{"0170003", kModbusD, 5, 1, kHoldingFloat, kFloat},
                                           Case{"0170003", kModbusD, 2, 1, kHoldingFloat, kFloat},
                                           Case{"0170003", kModbusD, 6, 1, kHoldingFloat, kLongArea},
                                           Case{"0160001", kModbusD, 4, 0, kInputLong, kNoLog},
                                           Case{"0160001", kModbusD, 5, 0, kInputLong, kNoLog},
                                           Case{"0160001", kModbusD, 3, 1, kInputLong, kInt32},
                                           Case{"0160001", kModbusD, 0, 1, kInputLong, kInt32},
                                           Case{"0180001", kModbusD, 4, 0, kHoldingLong, kNoLog},
                                           Case{"0180001", kModbusD, 5, 0, kHoldingLong, kNoLog},
                                           Case{"0180001", kModbusD, 2, 1, kHoldingLong, kInt32},
                                           // a bit number passes the grammar but no gate type
                                           Case{"01800015", kModbusD, 4, 1, kHoldingLongBit5, kDigital},
                                           Case{"01800015", kModbusD, 6, 1, kHoldingLongBit5, kLongArea}));

INSTANTIATE_TEST_SUITE_P(
    GrammarChoice, SingleParser,
    ::testing::Values(
        Case{"0140000",
             kModbusD,
             2,
             1,
             {1, U, U, U, U},
             {8, "KOVRIN> Parse() illegal addr. 0 for Modbus, '0140000 '"}},
        // only gate type 0 tries the report trigger form
        Case{"!R05", kModbusD, 2, 1, kUntouched, {32, "KOVRIN> Parse() Wrong size of gas, '!R05'"}},
        // only gate type 7 takes a report line, and only a report line
        Case{"01400105", kModbusD, 7, 1, {U, U, U, -1, 16}, kNoLog},
        Case{"R0101001",
             kModbusD,
             2,
             1,
             kUntouched,
             {8, "KOVRIN> Parse() illegal char #0, R in 'R0101001'"}}));

}  // namespace
