#include "host/driver/driver_module.h"

#include <cstring>

#include "programs/module_loader.h"

DriverModule::~DriverModule() {
  if (module_ != nullptr) UnloadModule(module_);
}

bool DriverModule::Load(const std::string& path, std::string* error) {
  char reason[512];
  module_ = LoadModule(path.c_str(), reason, sizeof reason);
  if (module_ == nullptr) {
    *error = reason;
    return false;
  }
  entry_ = reinterpret_cast<VpiEntry>(FindModuleSymbol(module_, "VpiMain"));
  if (entry_ == nullptr) {
    *error = path + " exports no VpiMain";
    return false;
  }
  return true;
}

int32_t DriverModule::Info(VpiInfo* info) {
  const int32_t result = Call(kCmdGetVpiInfo, info);
  MakeArea(info->instanceSize, 0xCD);
  return result;
}

void DriverModule::MakeArea(size_t size, uint8_t fill) {
  area_.assign((size + sizeof area_[0] - 1) / sizeof area_[0], 0);
  if (!area_.empty()) std::memset(area_.data(), fill, areaSize());
}

int32_t DriverModule::CallFor(void* instance, uint32_t command, void* params) {
  if (entry_ == nullptr) return kResultTransport;
  VpiRequest request{};
  request.instance = instance;
  request.command = command;
  request.driverNumber = driverNumber;
  request.params = params;
  return entry_(&request);
}
