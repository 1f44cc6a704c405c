// The driver module as a host sees it: its VpiMain, found in a module loaded
// at run time (or linked into the program), and one instance area that every
// command gets. The host program and the tests' host sessions share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host_interface/host_records.h"
#include "platform/win32.h"

using VpiEntry = int32_t(VPI_CDECL*)(VpiRequest*);

class DriverModule {
 public:
  DriverModule() = default;
  // The entry point of a driver linked into the program.
  explicit DriverModule(VpiEntry entry) : entry_(entry) {}
  ~DriverModule();  // unloads a loaded module
  DriverModule(const DriverModule&) = delete;
  DriverModule& operator=(const DriverModule&) = delete;

  // Loads the module at path and finds its VpiMain; false with the reason.
  bool Load(const std::string& path, std::string* error);
  bool loaded() const { return entry_ != nullptr; }

  // GetVpiInfo, then an instance area of the size it announces.
  int32_t Info(VpiInfo* info);
  // A new instance area of size bytes, each one fill (a host does not zero
  // its allocation), 8-byte aligned.
  void MakeArea(size_t size, uint8_t fill);
  // The instance area; null before there is one.
  void* area() { return area_.empty() ? nullptr : area_.data(); }
  size_t areaSize() const { return area_.size() * sizeof area_[0]; }

  // One command for the instance area.
  int32_t Call(uint32_t command, void* params) { return CallFor(area(), command, params); }
  // One command for another instance area (null, or one the host never
  // started); without an entry point, a transport failure.
  int32_t CallFor(void* instance, uint32_t command, void* params);

  int32_t driverNumber = 1;

 private:
  void* module_ = nullptr;
  VpiEntry entry_ = nullptr;
  std::vector<uint64_t> area_;
};
