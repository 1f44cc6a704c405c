// A port's line as the instance keeps it: name, rate, character format and
// the init file's line flags.
#pragma once

#include <cstdint>

// Bits of PortSettings::lineFlags (the init file's line flags). Either bit
// of a two-bit mask turns its control on.
constexpr uint16_t kLineDtrOn = 0x0101;
constexpr uint16_t kLineDtrHandshake = 0x8000;
constexpr uint16_t kLineRtsOn = 0x0202;
constexpr uint16_t kLineRtsHandshake = 0x1000;
constexpr uint16_t kLineRtsToggle = 0x2000;
constexpr uint16_t kLineFlagsDefault = kLineDtrOn | kLineRtsOn;  // 0x0303

// A port's line, as the instance keeps it (part of the host's instance area:
// the layout must not change).
struct PortSettings {
  char portName[12];  // NUL-terminated, at most 11 characters
  uint16_t baud;
  int16_t dataBits;
  int16_t stopBits;
  int16_t parity;
  uint16_t lineFlags;
};
static_assert(sizeof(PortSettings) == 22);
