#include "tests/windows/driver_session.h"

#include <cstdio>

DriverSession::DriverSession(const char* modulePath, int32_t driverNumber)
    : HostSession(modulePath, driverNumber) {
  FillArea(0xCD);
}

bool OpenedModule(const DriverSession& session) {
  if (session.loaded()) return true;
  std::printf("%s\n", session.error().c_str());
  return false;
}

bool WriteTextFile(const char* name, const std::string& text) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}
