#include "sim/wire_timing.h"

namespace sim {

std::chrono::microseconds WireTime(const WireTiming& timing, size_t bytes) {
  if (!timing.enabled()) return std::chrono::microseconds{0};
  const long long bits = static_cast<long long>(bytes) * timing.bitsPerCharacter;
  return std::chrono::microseconds{bits * 1000000LL / timing.baud};
}

std::chrono::microseconds SilentInterval(const WireTiming& timing) {
  if (!timing.enabled()) return std::chrono::microseconds{0};
  if (timing.baud > 19200) return std::chrono::microseconds{1750};
  return std::chrono::microseconds{35LL * timing.bitsPerCharacter * 1000000LL / (10LL * timing.baud)};
}

}  // namespace sim
