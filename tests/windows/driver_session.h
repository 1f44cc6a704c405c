// The driver DLL as a host program sees it: the host session of the native
// tests, on the module loaded from its file, with the instance area filled
// with garbage as a host's allocation may be.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"

// A session on the module at modulePath for driverNumber; check loaded()
// (OpenedModule prints why not).
class DriverSession : public HostSession {
 public:
  DriverSession(const char* modulePath, int32_t driverNumber);
};

// True when the session's module loaded; otherwise prints the reason.
bool OpenedModule(const DriverSession& session);

// Writes a text file into the current directory (init files).
bool WriteTextFile(const char* name, const std::string& text);
