// The driver against an independent slave: Debian's libmodbus serving on one
// end of a socat pseudo-terminal pair, the driver on the other. The slave's
// own memory shows what the driver wrote.

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "programs/far_end.h"
#include "programs/process.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

namespace {

class LibmodbusPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string peer = (dir_.path() / "peer").string();
    const std::string com1 = (dir_.path() / "com1").string();
    const std::string a = "pty,raw,echo=0,link=" + peer;
    const std::string b = "pty,raw,echo=0,link=" + com1;
    const char* argv[] = {"socat", a.c_str(), b.c_str(), nullptr};
    socat_ = StartProcess(argv);
    ASSERT_GT(socat_, 0) << "socat is needed (Debian package socat)";
    for (int i = 0; i < 300 && !(std::filesystem::exists(peer) && std::filesystem::exists(com1)); ++i) {
      SleepForMs(10);
    }
    ASSERT_TRUE(std::filesystem::exists(com1));

    ctx_ = modbus_new_rtu(peer.c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    modbus_set_slave(ctx_, 1);
    ASSERT_EQ(modbus_connect(ctx_), 0);
    modbus_set_indication_timeout(ctx_, 0, 50000);
    map_ = modbus_mapping_new(100, 100, 100, 100);
    for (int i = 0; i < 100; ++i) {
      map_->tab_registers[i] = static_cast<uint16_t>(0x1000 + i);
      map_->tab_input_registers[i] = static_cast<uint16_t>(0x2000 + i);
      map_->tab_bits[i] = static_cast<uint8_t>(i % 2);
      map_->tab_input_bits[i] = static_cast<uint8_t>(i % 3 == 0);
    }
    server_ = std::thread([this] { Serve(); });

    comDir_.emplace(dir_.path().string());
    ASSERT_EQ(session_.Start("COM1", 50), kResultDone);
  }

  void TearDown() override {
    session_.Close();
    stop_ = true;
    if (server_.joinable()) server_.join();
    if (map_ != nullptr) modbus_mapping_free(map_);
    if (ctx_ != nullptr) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
    StopProcess(socat_);
    comDir_.reset();
  }

  void Serve() {
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int n = modbus_receive(ctx_, query);
      if (n > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        modbus_reply(ctx_, query, n, map_);
      }
    }
  }

  int32_t Transfer(uint32_t command, int32_t memoryType, int32_t address, int32_t bit, int32_t width,
                   int32_t gateType, int32_t count, void* values) {
    ParseRequest parsed{};
    parsed.gas = "";
    parsed.gateType = gateType;
    parsed.plc = 1;
    parsed.memoryType = memoryType;
    parsed.address = address;
    parsed.bit = bit;
    parsed.width = width;
    GateTransfer t = HostSession::TransferFor(parsed, count, values);
    return session_.Call(command, &t);
  }

  uint16_t Register(int i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return map_->tab_registers[i];
  }
  uint8_t Coil(int i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return map_->tab_bits[i];
  }

  static uint16_t Word(const uint8_t* v, int offset) {
    return static_cast<uint16_t>(v[offset] | v[offset + 1] << 8);
  }

  TempDir dir_;
  LogCapture log_;
  long socat_ = -1;
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread server_;
  std::optional<ScopedComDir> comDir_;
  HostSession session_;
};

TEST_F(LibmodbusPeer, ReadsEveryKind) {
  uint8_t v[16] = {};
  ASSERT_EQ(Transfer(kCmdSingleRead, 4, 5, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v, 2), 0x1005);
  ASSERT_EQ(Transfer(kCmdSingleRead, 3, 7, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v, 2), 0x2007);
  ASSERT_EQ(Transfer(kCmdSingleRead, 260, 5, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v, 2), 0x05);
  ASSERT_EQ(Transfer(kCmdSingleRead, 516, 5, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Word(v, 2), 0x10);
  ASSERT_EQ(Transfer(kCmdSingleRead, 4, 5, 12, 1, 6, 1, v), kResultDone);  // 0x1005 bit 12
  EXPECT_EQ(Word(v, 2), 1);
  ASSERT_EQ(Transfer(kCmdSingleRead, 0, 3, -1, 1, 6, 1, v), kResultDone);
  EXPECT_EQ(Word(v, 2), 1);
  ASSERT_EQ(Transfer(kCmdSingleRead, 1, 3, -1, 1, 6, 1, v), kResultDone);
  EXPECT_EQ(Word(v, 2), 1);
  ASSERT_EQ(Transfer(kCmdSingleRead, 8, 5, -1, 32, 4, 1, v), kResultDone);  // registers 10 and 11
  EXPECT_EQ(Word(v, 0), 0x100B);
  EXPECT_EQ(Word(v, 2), 0x100A);
  ASSERT_EQ(Transfer(kCmdBlockRead, 0, 0, -1, 1, 6, 10, v), kResultDone);
  EXPECT_EQ(v[0], 0xAA);
  EXPECT_EQ(v[1] & 0x03, 0x02);
  ASSERT_EQ(Transfer(kCmdBlockRead, 3, 90, -1, 16, 2, 3, v), kResultDone);
  EXPECT_EQ(Word(v, 4), 0x205C);
  // Past the slave's map: an exception, three attempts.
  EXPECT_EQ(Transfer(kCmdSingleRead, 4, 500, -1, 16, 2, 1, v), kResultFailed);
  EXPECT_TRUE(log_.Contains("KOVRIN> (MB-protocol) Illegal data address"));
}

TEST_F(LibmodbusPeer, WritesEveryKind) {
  uint8_t v[32] = {};
  v[2] = 0x34;
  v[3] = 0x12;
  ASSERT_EQ(Transfer(kCmdSingleWrite, 4, 20, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Register(20), 0x1234);
  v[2] = 1;
  v[3] = 0;
  ASSERT_EQ(Transfer(kCmdSingleWrite, 0, 4, -1, 1, 6, 1, v), kResultDone);
  EXPECT_EQ(Coil(4), 1);
  ASSERT_EQ(Transfer(kCmdSingleWrite, 4, 21, 0, 1, 6, 1, v), kResultDone);  // 0x1015 | 1
  EXPECT_EQ(Register(21), 0x1015);
  ASSERT_EQ(Transfer(kCmdSingleWrite, 4, 22, 15, 1, 6, 1, v), kResultDone);
  EXPECT_EQ(Register(22), 0x9016);
  v[2] = 0xAB;
  ASSERT_EQ(Transfer(kCmdSingleWrite, 260, 23, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Register(23), 0x10AB);
  ASSERT_EQ(Transfer(kCmdSingleWrite, 516, 24, -1, 16, 2, 1, v), kResultDone);
  EXPECT_EQ(Register(24), 0xAB18);
  const uint8_t value32[4] = {0x44, 0x33, 0x22, 0x11};
  std::memcpy(v, value32, 4);
  ASSERT_EQ(Transfer(kCmdSingleWrite, 8, 15, -1, 32, 4, 1, v), kResultDone);  // registers 30, 31
  EXPECT_EQ(Register(30), 0x1122);
  EXPECT_EQ(Register(31), 0x3344);
  const uint8_t block[6] = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
  ASSERT_EQ(Transfer(kCmdBlockWrite, 4, 40, -1, 16, 2, 3, const_cast<uint8_t*>(block)), kResultDone);
  EXPECT_EQ(Register(40), 1);
  EXPECT_EQ(Register(42), 3);
  const uint8_t bits[2] = {0xFF, 0x01};
  ASSERT_EQ(Transfer(kCmdBlockWrite, 0, 50, -1, 1, 6, 9, const_cast<uint8_t*>(bits)), kResultDone);
  for (int i = 50; i < 59; ++i) EXPECT_EQ(Coil(i), 1) << i;
  EXPECT_EQ(Coil(59), 1);  // untouched: odd coils preset to 1
  EXPECT_EQ(Coil(60), 0);
}

}  // namespace
