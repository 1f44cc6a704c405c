// The driver as the host uses it, through the tests' host session: GetVpiInfo,
// an instance area of the size it announces, ColdStart on COM1 (found through
// VPI_COM_DIR), gates parsed with the address parser commands, then the
// transfer commands, all through VpiMain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/master.h"
#include "host_interface/host_records.h"
#include "tests/support/host_session.h"

class DriverMaster : public Master {
 public:
  DriverMaster() = default;
  ~DriverMaster() override;
  DriverMaster(const DriverMaster&) = delete;
  DriverMaster& operator=(const DriverMaster&) = delete;

  const char* name() const override { return "driver"; }
  // Starts the instance on port (COM1: $VPI_COM_DIR/com1).
  bool Open(int baud, std::string* error, const char* port = "COM1");
  void Close();
  bool Prepare(const Scenario& scenario, std::string* error) override;
  bool Transact() override;
  // The session itself, for gates of the caller's own (the multi-drop
  // line's thirty-two).
  HostSession& host() { return host_; }

 private:
  int32_t Call(uint32_t command, void* params);

  HostSession host_;  // the linked driver and the host's instance area
  bool open_ = false;
  const Scenario* scenario_ = nullptr;
  char gas_[16] = {};
  ParseRequest parsed_{};
  uint16_t reportNumber_ = 0;
  uint16_t nextValue_ = 0;
  alignas(8) uint8_t values_[1024] = {};
};
