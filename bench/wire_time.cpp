#include "bench/wire_time.h"

namespace {
constexpr double kBitsPerCharacter = 10.0;
constexpr double kFixedIntervalUs = 1750.0;
}  // namespace

double WireMicroseconds(const WireLoad& load, int baud) {
  if (baud <= 0) return 0.0;
  const double characterUs = kBitsPerCharacter * 1e6 / baud;
  const double intervalUs = baud > 19200 ? kFixedIntervalUs : 3.5 * characterUs;
  return load.bytes * characterUs + load.exchanges * intervalUs;
}

double WireLimit(const WireLoad& load, int baud) {
  const double us = WireMicroseconds(load, baud);
  return us > 0.0 ? 1e6 / us : 0.0;
}
