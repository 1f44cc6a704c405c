// The driver module as a host sees it: loaded at run time, one instance, and
// every command through VpiMain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host_interface/host_records.h"
#include "platform/win32.h"

class DriverModule {
 public:
  DriverModule() = default;
  ~DriverModule();
  DriverModule(const DriverModule&) = delete;
  DriverModule& operator=(const DriverModule&) = delete;

  bool Load(const std::string& path, std::string* error);
  // Command 14; allocates the instance area of the announced size.
  int32_t Info(VpiInfo* info);
  int32_t Call(uint32_t command, void* params);
  int32_t driverNumber = 1;

 private:
  using VpiMainFunction = int32_t(VPI_CDECL*)(VpiRequest*);
  void* module_ = nullptr;
  VpiMainFunction vpiMain_ = nullptr;
  std::vector<uint8_t> instance_;
};
