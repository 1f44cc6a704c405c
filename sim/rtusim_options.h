// The command line of rtusim.
#pragma once

#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/simulator.h"

namespace sim {

struct RtusimOptions {
  SimulatorOptions simulator;
  std::vector<FaultAction> script;
  std::vector<RandomFault> random;
  uint32_t seed = 1;
  bool trace = false;
  bool help = false;
  bool version = false;
};

// False with a message naming the bad argument.
bool ParseRtusimArguments(int argc, const char* const* argv, RtusimOptions* options, std::string* error);
const char* RtusimHelp();

}  // namespace sim
