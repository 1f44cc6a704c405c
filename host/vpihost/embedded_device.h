// The built-in device simulator that vpihost runs against when no port is
// given: served on a pseudo-terminal that the driver reaches as COM1.
#pragma once

#include <memory>
#include <string>

class EmbeddedDevice {
 public:
  EmbeddedDevice();
  ~EmbeddedDevice();
  EmbeddedDevice(const EmbeddedDevice&) = delete;
  EmbeddedDevice& operator=(const EmbeddedDevice&) = delete;

  // Whether this build has the simulator: without it a port must be given.
  static bool BuiltIn();

  // Starts the simulator; portName receives the name the driver opens and
  // description one line saying what runs where, with the line's settings
  // as lineSettings says them.
  bool Start(const std::string& lineSettings, std::string* portName, std::string* description,
             std::string* error);
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
