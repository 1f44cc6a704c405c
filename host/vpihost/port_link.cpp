// Port links on POSIX systems, where the driver maps COMn through VPI_COM_DIR.
#include "host/vpihost/port_link.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "programs/far_end.h"

bool PortLinksAvailable() { return true; }

bool PortLink::Make(const std::string& path, std::string* error) {
  Remove();
  std::error_code ec;
  // The link lives in another folder: a relative target would point from there.
  const std::filesystem::path target = std::filesystem::absolute(path, ec);
  if (ec) {
    *error = "cannot make " + path + " an absolute path";
    return false;
  }
  std::random_device random;
  std::filesystem::path dir;
  for (int attempt = 0; attempt < 10 && dir.empty(); ++attempt) {
    const auto candidate = std::filesystem::temp_directory_path(ec) / ("vpihost-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, ec)) dir = candidate;
  }
  if (dir.empty()) {
    *error = "cannot make a folder for the port link";
    return false;
  }
  folder_ = dir.string();
  const char* previous = std::getenv("VPI_COM_DIR");
  hadComDir_ = previous != nullptr;
  previousComDir_ = hadComDir_ ? previous : "";
  if (!MakeSymlink(target.c_str(), (dir / "com1").c_str())) {
    *error = "cannot make the link " + (dir / "com1").string();
    Remove();
    return false;
  }
  setenv("VPI_COM_DIR", folder_.c_str(), 1);
  return true;
}

void PortLink::Remove() {
  if (folder_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);  // the link only, not what it points at
  if (hadComDir_) {
    setenv("VPI_COM_DIR", previousComDir_.c_str(), 1);
  } else {
    unsetenv("VPI_COM_DIR");
  }
  folder_.clear();
  hadComDir_ = false;
}
