#include "host/vpihost/driver.h"

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
  vpiMain_ = reinterpret_cast<VpiMainFunction>(FindModuleSymbol(module_, "VpiMain"));
  if (vpiMain_ == nullptr) {
    *error = path + " exports no VpiMain";
    return false;
  }
  return true;
}

int32_t DriverModule::Info(VpiInfo* info) {
  const int32_t result = Call(kCmdGetVpiInfo, info);
  // The host does not zero the instance area; neither do we.
  instance_.assign(info->instanceSize, 0xCD);
  return result;
}

int32_t DriverModule::Call(uint32_t command, void* params) {
  VpiRequest request{};
  request.instance = instance_.empty() ? nullptr : instance_.data();
  request.command = command;
  request.driverNumber = driverNumber;
  request.params = params;
  return vpiMain_(&request);
}
