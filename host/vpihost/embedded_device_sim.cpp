// The built-in simulator: station 1 on a pseudo-terminal, linked as com1 in
// a private folder that VPI_COM_DIR names, so the driver opens "COM1".
#include "host/vpihost/embedded_device.h"
#include "host/vpihost/port_link.h"
#include "sim/simulator.h"

namespace {

// Values the demo gates file shows besides the preset pattern.
const char* const kDemoPresets[] = {
    "1:hr:100=float:21.5",       // gate 0170101
    "1:hr:200=ulong:123456789",  // gate 0180201
};

}  // namespace

struct EmbeddedDevice::State {
  PortLink link;
  std::unique_ptr<sim::Simulator> simulator;
};

EmbeddedDevice::EmbeddedDevice() = default;

EmbeddedDevice::~EmbeddedDevice() { Stop(); }

bool EmbeddedDevice::BuiltIn() { return true; }

bool EmbeddedDevice::Start(const std::string& lineSettings, std::string* portName, std::string* description,
                           std::string* error) {
  auto state = std::make_unique<State>();
  sim::SimulatorOptions options;
  options.stations = {1};
  for (const char* preset : kDemoPresets) {
    if (!sim::ParsePreset(preset, "", &options.presets, error)) return false;
  }
  state->simulator = std::make_unique<sim::Simulator>(options);
  if (!state->simulator->Start(error)) return false;
  if (!state->link.Make(state->simulator->devicePath(), error)) return false;

  *portName = kLinkedPortName;
  *description = "built-in simulator, station 1 on " + state->simulator->devicePath() +
                 ", reached as COM1 through VPI_COM_DIR=" + state->link.folder() + ", " + lineSettings +
                 " (holding register n holds n, input register n holds n XOR 0x5555, coil n is 1 "
                 "when n % 3 == 0, input n is 1 when n is odd; report r is generated)";
  state_ = std::move(state);
  return true;
}

void EmbeddedDevice::Stop() {
  if (!state_) return;
  state_->simulator.reset();
  state_->link.Remove();
  state_.reset();
}
