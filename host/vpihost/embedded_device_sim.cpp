// The built-in simulator: station 1 on a pseudo-terminal, linked as com1 in
// a private folder that VPI_COM_DIR names, so the driver opens "COM1".
#include <cstdlib>
#include <filesystem>
#include <random>

#include "host/vpihost/embedded_device.h"
#include "sim/simulator.h"

namespace {

// Values the demo gates file shows besides the preset pattern.
const char* const kDemoPresets[] = {
    "1:hr:100=float:21.5",       // gate 0170101
    "1:hr:200=ulong:123456789",  // gate 0180201
};

}  // namespace

struct EmbeddedDevice::State {
  std::filesystem::path dir;
  std::unique_ptr<sim::Simulator> simulator;
};

EmbeddedDevice::EmbeddedDevice() = default;

EmbeddedDevice::~EmbeddedDevice() { Stop(); }

bool EmbeddedDevice::Start(std::string* portName, std::string* description, std::string* error) {
  auto state = std::make_unique<State>();
  std::error_code ec;
  std::random_device random;
  for (int attempt = 0; attempt < 10 && state->dir.empty(); ++attempt) {
    const auto dir = std::filesystem::temp_directory_path(ec) / ("vpihost-" + std::to_string(random()));
    if (std::filesystem::create_directory(dir, ec)) state->dir = dir;
  }
  if (state->dir.empty()) {
    *error = "cannot make a folder for the simulator's port link";
    return false;
  }

  sim::SimulatorOptions options;
  options.stations = {1};
  options.line.link = (state->dir / "com1").string();
  for (const char* preset : kDemoPresets) {
    if (!sim::ParsePreset(preset, "", &options.presets, error)) return false;
  }
  state->simulator = std::make_unique<sim::Simulator>(options);
  if (!state->simulator->Start(error)) return false;
  setenv("VPI_COM_DIR", state->dir.c_str(), 1);

  *portName = "COM1";
  *description = "built-in simulator, station 1 on " + state->simulator->devicePath() +
                 ", reached as COM1 through VPI_COM_DIR=" + state->dir.string() +
                 " (holding register n holds n, input register n holds n XOR 0x5555, coil n is 1 "
                 "when n % 3 == 0, input n is 1 when n is odd; report r is generated)";
  state_ = std::move(state);
  return true;
}

void EmbeddedDevice::Stop() {
  if (!state_) return;
  state_->simulator.reset();  // stops it and removes the link
  std::error_code ec;
  std::filesystem::remove_all(state_->dir, ec);
  state_.reset();
}
