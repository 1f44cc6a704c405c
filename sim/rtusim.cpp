// rtusim: the device simulator as a program. See --help.
#include <cmath>
#include <cstdio>
#include <string>

#include "programs/signals.h"
#include "programs/version.h"
#include "sim/rtusim_options.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
  // Before any thread starts, so that only the wait below sees Ctrl-C.
  TerminationRequestsHold();

  sim::RtusimOptions options;
  std::string error;
  if (!sim::ParseRtusimArguments(argc, argv, &options, &error)) {
    std::fprintf(stderr, "rtusim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(sim::RtusimHelp(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("rtusim %s\n", kProjectVersion);
    return 0;
  }
  if (options.trace) {
    options.simulator.trace = [](const std::string& line) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    };
  }
  options.simulator.logLimit = 0;  // nobody reads the log here

  sim::Simulator simulator(options.simulator);
  simulator.QueueFaults(options.script);
  if (!options.random.empty()) simulator.SetRandomFaults(options.seed, options.random);
  if (!simulator.Start(&error)) {
    std::fprintf(stderr, "rtusim: %s\n", error.c_str());
    return 1;
  }
  std::string stations;
  for (uint8_t station : options.simulator.stations) {
    stations += (stations.empty() ? "" : ",") + std::to_string(station);
  }
  std::printf("rtusim: serving stations %s on %s\n", stations.c_str(), simulator.devicePath().c_str());
  if (!options.simulator.line.link.empty()) {
    std::printf("rtusim: %s -> %s\n", options.simulator.line.link.c_str(), simulator.devicePath().c_str());
  }
  if (options.simulator.framing.enabled()) {
    std::printf("rtusim: strict framing: a frame ends after 3.5 characters of silence at %d baud\n",
                options.simulator.framing.baud);
  }
  if (options.simulator.timing.enabled()) {
    std::printf("rtusim: emulating %d baud, %d bits a character\n", options.simulator.timing.baud,
                options.simulator.timing.bitsPerCharacter);
  }
  for (const sim::SilentWindow& window : options.simulator.silent) {
    if (std::isinf(window.to)) {
      std::printf("rtusim: station %u silent from %g s on\n", window.station, window.from);
    } else {
      std::printf("rtusim: station %u silent from %g s to %g s\n", window.station, window.from, window.to);
    }
  }
  if (options.simulator.echo != sim::EchoMode::kNone) {
    std::printf("rtusim: echoing every request (%s)\n", sim::EchoModeName(options.simulator.echo));
  }
  std::fflush(stdout);

  const int signal = TerminationRequestWait();
  simulator.Stop();
  std::printf("rtusim: stopped (signal %d)\n", signal);
  return 0;
}
