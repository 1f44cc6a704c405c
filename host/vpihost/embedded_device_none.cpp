// Builds without the simulator (Windows): a port must be given.
#include "host/vpihost/embedded_device.h"

struct EmbeddedDevice::State {};

EmbeddedDevice::EmbeddedDevice() = default;
EmbeddedDevice::~EmbeddedDevice() = default;

bool EmbeddedDevice::BuiltIn() { return false; }

bool EmbeddedDevice::Start(const std::string&, std::string*, std::string*, std::string* error) {
  *error = "this build has no built-in simulator: give --port COM1 ... (see --help)";
  return false;
}

void EmbeddedDevice::Stop() {}
