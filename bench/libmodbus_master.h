// libmodbus's RTU master doing the same work as the driver, on the same line.
#pragma once

#include <cstdint>
#include <string>

#include "bench/master.h"

typedef struct _modbus modbus_t;

class LibmodbusMaster : public Master {
 public:
  LibmodbusMaster() = default;
  ~LibmodbusMaster() override;
  LibmodbusMaster(const LibmodbusMaster&) = delete;
  LibmodbusMaster& operator=(const LibmodbusMaster&) = delete;

  const char* name() const override { return "libmodbus"; }
  bool Open(const std::string& device, int baud, std::string* error);
  void Close();
  bool Prepare(const Scenario& scenario, std::string* error) override;
  bool Transact() override;

 private:
  modbus_t* ctx_ = nullptr;
  const Scenario* scenario_ = nullptr;
  uint16_t registers_[128] = {};
  uint16_t nextValue_ = 0;
  float value_ = 0;
};
