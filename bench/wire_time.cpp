#include "bench/wire_time.h"

namespace {
constexpr double kBitsPerCharacter = 10.0;
constexpr double kFixedIntervalUs = 1750.0;
constexpr double kDriverBitsPerCharacter = 11.0;

double IntervalUs(int baud) { return baud > 19200 ? kFixedIntervalUs : 3.5 * kBitsPerCharacter * 1e6 / baud; }
}  // namespace

double WireMicroseconds(const WireLoad& load, int baud) {
  if (baud <= 0) return 0.0;
  const double characterUs = kBitsPerCharacter * 1e6 / baud;
  return load.bytes * characterUs + load.exchanges * IntervalUs(baud);
}

double WireLimit(const WireLoad& load, int baud) {
  if (baud <= 0) return 0.0;
  const double us = WireMicroseconds(load, baud) + load.exchanges * IntervalUs(baud);
  return 1e6 / us;
}

double EchoMicroseconds(int bytes, int baud) {
  if (baud <= 0) return 0.0;
  return bytes * kDriverBitsPerCharacter * 1e6 / baud;
}
