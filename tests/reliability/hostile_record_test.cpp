// Host records no address parser produces: the findings of the host-record
// fuzz target. Each is refused before anything goes out, or handled without
// undefined behaviour.

#include <climits>

#include "tests/support/fake_line_fixture.h"

namespace {

struct HostileRecord {
  const char* name;
  uint32_t command;
  int32_t memoryType;
  int32_t width;
  int32_t bit;
  int32_t gateType;
  int32_t count;
  const char* gas;
  const char* message;
};

class HostileRecords : public FakeLineTest, public ::testing::WithParamInterface<HostileRecord> {};

TEST_P(HostileRecords, RefusedWithNothingSent) {
  const HostileRecord& r = GetParam();
  uint8_t values[64] = {0, 0, 1, 0};
  GateTransfer gate{};
  gate.gas = r.gas;
  gate.plc = 1;
  gate.memoryType = r.memoryType;
  gate.address = 5;
  gate.bit = r.bit;
  gate.width = r.width;
  gate.gateType = r.gateType;
  gate.count = r.count;
  gate.values = values;
  EXPECT_EQ(session_.Call(r.command, &gate), kResultFailed);
  EXPECT_EQ(FakeLineRequestCount(), 0);
  EXPECT_TRUE(log_.Contains(r.message)) << ::testing::PrintToString(log_.texts());
  EXPECT_EQ(instance_.writeInProgress, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Findings, HostileRecords,
    ::testing::Values(
        HostileRecord{"UnknownMemoryType", kCmdSingleWrite, -1, 65535, -1, 2, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type -1, width 65535, bit -1"},
        HostileRecord{"NoSuchArea", kCmdSingleWrite, 2, 16, -1, 2, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 2, width 16, bit -1"},
        HostileRecord{"HighBitsOfAnInputArea", kCmdSingleWrite, 0x103, 16, -1, 2, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 259, width 16, bit -1"},
        HostileRecord{"RegisterAsAPair", kCmdSingleWrite, 4, 32, -1, 2, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 4, width 32, bit -1"},
        HostileRecord{"FloatAsOneRegister", kCmdSingleWrite, 7, 16, -1, 3, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 7, width 16, bit -1"},
        HostileRecord{"CoilWithABit", kCmdSingleWrite, 0, 1, 3, 6, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 0, width 1, bit 3"},
        HostileRecord{"RegisterBitOutOfRange", kCmdSingleWrite, 516, 1, INT_MAX, 6, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 516, width 1, bit 2147483647"},
        HostileRecord{"NegativeBitOfTheHighByte", kCmdSingleWrite, 516, 1, -5, 6, 1, "",
                      "KOVRIN> SingleWrite() not allowed for memory type 516, width 1, bit -5"},
        HostileRecord{"RegistersWrittenAsCoils", kCmdBlockWrite, 4, 1, -1, 2, 8, "",
                      "KOVRIN> BlockWrite() width 1 does not fit memory type 4"},
        HostileRecord{"CoilsWrittenAsRegisters", kCmdBlockWrite, 0, 16, -1, 6, 2, "",
                      "KOVRIN> BlockWrite() width 16 does not fit memory type 0"},
        HostileRecord{"FloatsWrittenAsRegisters", kCmdBlockWrite, 7, 16, -1, 3, 2, "",
                      "KOVRIN> BlockWrite() width 16 does not fit memory type 7"},
        HostileRecord{"ReportTriggerOfACoil", kCmdSingleWrite, 5, 16, -1, 0, 1, "!R01",
                      "KOVRIN> SingleWrite() report trigger with memory type 5"}),
    [](const ::testing::TestParamInfo<HostileRecord>& info) { return info.param.name; });

// A bit number near INT_MAX on a high-byte gate used to overflow when
// raised by 8; one below 0 was raised into the low byte.
TEST_F(FakeLineTest, HighByteBitsOutsideTheByteAreNotRaised) {
  for (const int32_t bit : {INT_MAX, INT_MAX - 7, 16, -5}) {
    Reply(WithCrc({0x01, 0x03, 0x02, 0xFF, 0xFF}));
    uint8_t values[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    GateTransfer gate{};
    gate.gas = "";
    gate.plc = 1;
    gate.memoryType = kMemHighByte;
    gate.bit = bit;
    gate.width = 1;
    gate.gateType = kGateDigital;
    gate.count = 1;
    gate.values = values;
    EXPECT_EQ(session_.Call(kCmdSingleRead, &gate), kResultDone) << bit;
    EXPECT_EQ(gate.bit, bit);
    EXPECT_EQ(values[2], 0) << "no bit of the register is named by " << bit;
  }
}

}  // namespace
