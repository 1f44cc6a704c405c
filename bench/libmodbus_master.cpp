#include "bench/libmodbus_master.h"

#include <modbus/modbus.h>

LibmodbusMaster::~LibmodbusMaster() { Close(); }

bool LibmodbusMaster::Open(const std::string& device, int baud, std::string* error) {
  ctx_ = modbus_new_rtu(device.c_str(), baud, 'N', 8, 1);
  if (ctx_ == nullptr) {
    *error = "modbus_new_rtu failed";
    return false;
  }
  modbus_set_slave(ctx_, 1);
  if (modbus_connect(ctx_) != 0) {
    *error = std::string("modbus_connect failed on ") + device;
    modbus_free(ctx_);
    ctx_ = nullptr;
    return false;
  }
  modbus_set_response_timeout(ctx_, 1, 0);  // as the driver's 1 s
  return true;
}

void LibmodbusMaster::Close() {
  if (ctx_ == nullptr) return;
  modbus_close(ctx_);
  modbus_free(ctx_);
  ctx_ = nullptr;
}

bool LibmodbusMaster::Prepare(const Scenario& scenario, std::string* error) {
  if (!scenario.shared) {
    *error = "libmodbus cannot take this reply";
    return false;
  }
  scenario_ = &scenario;
  return true;
}

bool LibmodbusMaster::Transact() {
  switch (scenario_->operation) {
    case Operation::kSingleRead:
      return modbus_read_registers(ctx_, 0, 1, registers_) == 1;
    case Operation::kBlockRead:
      return modbus_read_registers(ctx_, 0, scenario_->count, registers_) == scenario_->count;
    case Operation::kFloatRead:
      if (modbus_read_registers(ctx_, 0, 2, registers_) != 2) return false;
      value_ = modbus_get_float_abcd(registers_);
      return true;
    case Operation::kSingleWrite:
      return modbus_write_register(ctx_, 0, nextValue_++) == 1;
    case Operation::kBlockWrite:
      for (int i = 0; i < scenario_->count; ++i) registers_[i] = static_cast<uint16_t>(nextValue_ + i);
      ++nextValue_;
      return modbus_write_registers(ctx_, 0, scenario_->count, registers_) == scenario_->count;
    case Operation::kReport:
      return false;
  }
  return false;
}
