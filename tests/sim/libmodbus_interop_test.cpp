// Interoperability: Debian's libmodbus, an independent master, reads and
// writes the simulator over its pseudo-terminal and sees the documented
// preset pattern, presets, exceptions and faults.

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>
#include <vector>

#include "sim/simulator.h"

namespace {

class LibmodbusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorOptions options;
    options.stations = {1, 17};
    std::string error;
    for (const char* preset : {"17:hr:1000=float:3.25,float-swap:-1.5,ulong:0x12345678,ulong-swap:0x12345678",
                               "17:coil:500=0,0,0,0", "17:ir:0=0xCAFE"}) {
      ASSERT_TRUE(sim::ParsePreset(preset, "", &options.presets, &error)) << error;
    }
    simulator_ = std::make_unique<sim::Simulator>(options);
    ASSERT_TRUE(simulator_->Start(&error)) << error;
    ctx_ = modbus_new_rtu(simulator_->devicePath().c_str(), 19200, 'E', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    modbus_set_response_timeout(ctx_, 0, 400000);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
    modbus_set_slave(ctx_, 17);
  }
  void TearDown() override {
    if (ctx_) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
  }

  std::unique_ptr<sim::Simulator> simulator_;
  modbus_t* ctx_ = nullptr;
};

TEST_F(LibmodbusTest, ReadsThePresetPattern) {
  uint16_t regs[125];
  ASSERT_EQ(modbus_read_registers(ctx_, 0, 125, regs), 125) << modbus_strerror(errno);
  for (int n = 0; n < 125; ++n) EXPECT_EQ(regs[n], n);
  ASSERT_EQ(modbus_read_registers(ctx_, 65530, 6, regs), 6);
  EXPECT_EQ(regs[5], 65535);
  ASSERT_EQ(modbus_read_input_registers(ctx_, 1, 3, regs), 3);
  EXPECT_EQ(regs[0], 1 ^ 0x5555);
  EXPECT_EQ(regs[2], 3 ^ 0x5555);
  ASSERT_EQ(modbus_read_input_registers(ctx_, 0, 1, regs), 1);
  EXPECT_EQ(regs[0], 0xCAFE);  // preset

  uint8_t bits[2000];
  ASSERT_EQ(modbus_read_bits(ctx_, 0, 2000, bits), 2000);
  for (int n = 0; n < 2000; ++n) {
    EXPECT_EQ(bits[n], (n >= 500 && n < 504) ? 0 : (n % 3 == 0 ? 1 : 0)) << n;
  }
  ASSERT_EQ(modbus_read_input_bits(ctx_, 65528, 8, bits), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bits[i], (65528 + i) % 2) << i;
}

TEST_F(LibmodbusTest, ReadsThirtyTwoBitPresetsInBothWordOrders) {
  uint16_t regs[8];
  ASSERT_EQ(modbus_read_registers(ctx_, 1000, 8, regs), 8);
  EXPECT_FLOAT_EQ(modbus_get_float_abcd(regs), 3.25f);
  EXPECT_FLOAT_EQ(modbus_get_float_cdab(regs + 2), -1.5f);
  EXPECT_EQ((static_cast<uint32_t>(regs[4]) << 16) | regs[5], 0x12345678u);
  EXPECT_EQ((static_cast<uint32_t>(regs[7]) << 16) | regs[6], 0x12345678u);
}

TEST_F(LibmodbusTest, WritesAreReadBack) {
  ASSERT_EQ(modbus_write_register(ctx_, 40000, 0xBEEF), 1) << modbus_strerror(errno);
  const uint16_t values[3] = {7, 8, 9};
  ASSERT_EQ(modbus_write_registers(ctx_, 65533, 3, values), 3);
  ASSERT_EQ(modbus_write_bit(ctx_, 3, 0), 1);
  const uint8_t bits[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(modbus_write_bits(ctx_, 100, 10, bits), 10);

  uint16_t regs[3];
  ASSERT_EQ(modbus_read_registers(ctx_, 65533, 3, regs), 3);
  EXPECT_EQ(regs[2], 9);
  ASSERT_EQ(modbus_read_registers(ctx_, 40000, 1, regs), 1);
  EXPECT_EQ(regs[0], 0xBEEF);
  uint8_t read[12];
  ASSERT_EQ(modbus_read_bits(ctx_, 99, 12, read), 12);
  EXPECT_EQ(read[0], 1);   // 99 % 3 == 0
  EXPECT_EQ(read[1], 1);   // written
  EXPECT_EQ(read[11], 0);  // 110: untouched, 110 % 3 != 0
  EXPECT_EQ(simulator_->Get(17, sim::Area::kCoil, 3), 0);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 40000), 40000);  // other station untouched
}

TEST_F(LibmodbusTest, BroadcastWritesEveryStation) {
  modbus_set_slave(ctx_, MODBUS_BROADCAST_ADDRESS);
  // This libmodbus waits for an answer to a broadcast as well and then
  // reports a timeout: the simulator rightly stays silent.
  modbus_write_register(ctx_, 12, 0x4242);
  ASSERT_TRUE(simulator_->WaitForHandled(1, 1000));
  EXPECT_EQ(simulator_->Requests().at(0).fate, sim::RequestFate::kBroadcast);
  EXPECT_EQ(simulator_->Get(1, sim::Area::kHoldingRegister, 12), 0x4242);
  EXPECT_EQ(simulator_->Get(17, sim::Area::kHoldingRegister, 12), 0x4242);
}

// Raw requests get past libmodbus's own checks of quantities. Gives the
// exception code of the answer, 0 for a normal answer, -1 for none.
int RawExchange(modbus_t* ctx, std::vector<uint8_t> request) {
  if (modbus_send_raw_request(ctx, request.data(), static_cast<int>(request.size())) < 0) return -1;
  uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
  const int length = modbus_receive_confirmation(ctx, reply);
  if (length < 3) return -1;
  return (reply[1] & 0x80) ? reply[2] : 0;
}

TEST_F(LibmodbusTest, SeesTheExceptionsOfARealSlave) {
  uint16_t regs[2];
  EXPECT_EQ(modbus_read_registers(ctx_, 65535, 2, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  uint8_t bits[16];
  EXPECT_EQ(modbus_read_input_bits(ctx_, 65530, 16, bits), -1);
  EXPECT_EQ(errno, EMBXILADD);
  uint8_t id[32];
  EXPECT_EQ(modbus_report_slave_id(ctx_, sizeof id, id), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(modbus_mask_write_register(ctx_, 1, 0xFF00, 0x0012), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(RawExchange(ctx_, {17, 0x03, 0x00, 0x00, 0x00, 0x7E}), 3);                    // 126 registers
  EXPECT_EQ(RawExchange(ctx_, {17, 0x05, 0x00, 0x01, 0x12, 0x34}), 3);                    // coil value
  EXPECT_EQ(RawExchange(ctx_, {17, 0x10, 0x00, 0x01, 0x00, 0x02, 0x02, 0x00, 0x01}), 3);  // byte count
  EXPECT_EQ(RawExchange(ctx_, {17, 0x2B, 0x0E, 0x01, 0x00}), 1);  // device identification
  EXPECT_EQ(RawExchange(ctx_, {17, 0x03, 0x00, 0x00, 0x00, 0x01}), 0);
}

TEST_F(LibmodbusTest, SeesScriptedFaults) {
  simulator_->QueueFaults(
      {{sim::FaultKind::kBadCrc}, {sim::FaultKind::kSilent}, {sim::FaultKind::kException, 6}});
  uint16_t reg = 0;
  EXPECT_EQ(modbus_read_registers(ctx_, 5, 1, &reg), -1);
  EXPECT_EQ(errno, EMBBADCRC);
  modbus_flush(ctx_);
  EXPECT_EQ(modbus_read_registers(ctx_, 5, 1, &reg), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_EQ(modbus_read_registers(ctx_, 5, 1, &reg), -1);
  EXPECT_EQ(errno, EMBXSBUSY);
  ASSERT_EQ(modbus_read_registers(ctx_, 5, 1, &reg), 1);
  EXPECT_EQ(reg, 5);
}

}  // namespace
