// Device paths longer than the host's port record holds (11 characters, as
// /dev/serial/by-id/... names are): vpihost links such a path as com1 in a
// private folder that VPI_COM_DIR names, so that the driver opens "COM1".
#pragma once

#include <cstddef>
#include <string>

// The longest name the host's port record passes to the driver as it is.
constexpr size_t kPortNameLimit = 11;
// The name a linked path reaches the driver by.
constexpr const char kLinkedPortName[] = "COM1";

// Whether this build can link a longer path; where not, a port name has at
// most kPortNameLimit characters.
bool PortLinksAvailable();

class PortLink {
 public:
  PortLink() = default;
  ~PortLink() { Remove(); }
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  // Makes the folder and its com1 -> path (a relative path taken from the
  // working folder) and points VPI_COM_DIR at the folder; false with the
  // reason in error.
  bool Make(const std::string& path, std::string* error);
  // Removes the link and its folder and gives VPI_COM_DIR back what it held.
  void Remove();
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  bool hadComDir_ = false;
  std::string previousComDir_;
};
