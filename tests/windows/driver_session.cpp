#include "tests/windows/driver_session.h"

#include <cstdio>
#include <cstring>

#include "host/zelpro/zelpro_host.h"
#include "programs/module_loader.h"

HostLog::HostLog() { ZelHostSetLogSink(&HostLog::Sink, this); }

HostLog::~HostLog() { ZelHostSetLogSink(nullptr, nullptr); }

void HostLog::Sink(int level, const char* text, void* context) {
  static_cast<HostLog*>(context)->lines_.push_back({level, text});
}

int HostLog::Count(const std::string& text) const {
  int count = 0;
  for (const HostLogLine& line : lines_) count += line.text == text ? 1 : 0;
  return count;
}

int HostLog::CountStartingWith(const std::string& prefix) const {
  int count = 0;
  for (const HostLogLine& line : lines_) count += line.text.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  return count;
}

int HostLog::LevelOf(const std::string& text) const {
  for (const HostLogLine& line : lines_) {
    if (line.text == text) return line.level;
  }
  return -1;
}

void HostLog::Dump() const {
  for (const HostLogLine& line : lines_) std::printf("   log [%2d] %s\n", line.level, line.text.c_str());
  std::fflush(stdout);
}

DriverModule::~DriverModule() {
  if (module_ != nullptr) UnloadModule(module_);
}

bool DriverModule::Load(const char* path) {
  char error[512];
  module_ = LoadModule(path, error, sizeof error);
  if (module_ == nullptr) {
    std::printf("%s\n", error);
    return false;
  }
  vpiMain_ = reinterpret_cast<VpiMainFunction>(FindModuleSymbol(module_, "VpiMain"));
  if (vpiMain_ == nullptr) {
    std::printf("%s exports no VpiMain\n", path);
    return false;
  }
  return true;
}

int32_t DriverModule::Call(void* instance, uint32_t command, int32_t driverNumber, void* params) const {
  VpiRequest request{};
  request.instance = instance;
  request.command = command;
  request.driverNumber = driverNumber;
  request.params = params;
  return vpiMain_(&request);
}

uint32_t DriverModule::InstanceSize() const {
  VpiInfo info{};
  Call(nullptr, kCmdGetVpiInfo, 0, &info);
  return info.instanceSize;
}

DriverInstance::DriverInstance(const DriverModule& module, int32_t driverNumber)
    : module_(module), driverNumber_(driverNumber), area_(module.InstanceSize(), 0xCD) {}

int32_t DriverInstance::ColdStart(const char* port, uint32_t replyTimeout) {
  ColdStartParams params{};
  std::snprintf(params.portName, sizeof params.portName, "%s", port);
  params.portInUse = 1;
  params.replyTimeout = replyTimeout;
  params.baud = 9600;
  params.dataBits = 8;
  params.stopBits = 0;
  params.parity = 0;
  return Call(kCmdColdStart, &params);
}

bool WriteTextFile(const char* name, const std::string& text) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}
