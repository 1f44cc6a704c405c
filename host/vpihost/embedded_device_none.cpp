// Builds without the simulator (Windows): a port must be given.
#include "host/vpihost/embedded_device.h"

struct EmbeddedDevice::State {};

EmbeddedDevice::EmbeddedDevice() = default;
EmbeddedDevice::~EmbeddedDevice() = default;

bool EmbeddedDevice::Start(std::string*, std::string*, std::string* error) {
  *error = "this build has no built-in simulator: give --port";
  return false;
}

void EmbeddedDevice::Stop() {}
