// The driver DLL as a host program sees it: loaded at run time, called
// through VpiMain with host-allocated records, its log lines collected from
// the stand-in host library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entry/host_records.h"
#include "platform/win32.h"

struct HostLogLine {
  int level;
  std::string text;
};

// Collects every line the driver logs while it exists.
class HostLog {
 public:
  HostLog();
  ~HostLog();
  HostLog(const HostLog&) = delete;
  HostLog& operator=(const HostLog&) = delete;

  int Count(const std::string& text) const;
  bool Contains(const std::string& text) const { return Count(text) > 0; }
  int CountStartingWith(const std::string& prefix) const;
  // Level of the first line with this text, or -1.
  int LevelOf(const std::string& text) const;
  void Clear() { lines_.clear(); }
  // Prints the collected lines (after a failure, to see what happened).
  void Dump() const;

 private:
  static void Sink(int level, const char* text, void* context);
  std::vector<HostLogLine> lines_;
};

class DriverModule {
 public:
  DriverModule() = default;
  ~DriverModule();
  DriverModule(const DriverModule&) = delete;
  DriverModule& operator=(const DriverModule&) = delete;

  // Loads the module and finds VpiMain; false with a message printed.
  bool Load(const char* path);
  int32_t Call(void* instance, uint32_t command, int32_t driverNumber, void* params) const;
  // GetVpiInfo; the host sizes each instance by it.
  uint32_t InstanceSize() const;

 private:
  using VpiMainFunction = int32_t(VPI_CDECL*)(VpiRequest*);
  void* module_ = nullptr;
  VpiMainFunction vpiMain_ = nullptr;
};

// One driver instance: the host's private area for it, filled with garbage
// as a host's allocation may be.
class DriverInstance {
 public:
  DriverInstance(const DriverModule& module, int32_t driverNumber);
  int32_t Call(uint32_t command, void* params) {
    return module_.Call(area_.data(), command, driverNumber_, params);
  }
  int32_t ColdStart(const char* port, uint32_t replyTimeout);

 private:
  const DriverModule& module_;
  int32_t driverNumber_;
  std::vector<uint8_t> area_;
};

// Writes a text file into the current directory (init files).
bool WriteTextFile(const char* name, const std::string& text);
