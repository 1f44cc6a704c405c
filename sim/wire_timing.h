// Time a frame takes on a real serial line, for emulating one on a
// pseudo-terminal: each character is 10 bits (start, 8 data, stop) or 11 (with
// parity or a second stop bit), and a frame ends with a silent interval of
// 3.5 characters, fixed at 1750 us above 19200 baud.
#pragma once

#include <chrono>
#include <cstddef>

namespace sim {

struct WireTiming {
  int baud = 0;  // 0: no emulation, answers go out at once
  int bitsPerCharacter = 10;

  bool enabled() const { return baud > 0; }
};

std::chrono::microseconds WireTime(const WireTiming& timing, size_t bytes);
std::chrono::microseconds SilentInterval(const WireTiming& timing);

}  // namespace sim
