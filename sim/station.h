// One simulated slave station: its four data areas and its sixteen report
// texts.
//
// Preset pattern. Until something is written, every address of every area
// holds a value that follows from the address n (0 to 65535) alone, the same
// on every station:
//   coil n              1 when n % 3 == 0, else 0      (coils 0..7: 1 0 0 1 0 0 1 0)
//   discrete input n    1 when n is odd, else 0        (inputs 0..7: 0 1 0 1 0 1 0 1)
//   input register n    n XOR 0x5555                   (0 -> 0x5555, 1 -> 0x5554)
//   holding register n  n                              (0x1234 holds 0x1234)
// So a 32-bit pair of holding registers (2k, 2k + 1) read high word first is
// (2k << 16) | (2k + 1). Written values and presets set from the command
// line or a value file replace the pattern at their addresses.
//
// Reports 1 to 16 are generated until set otherwise (see sim/reports.h).
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "sim/reports.h"

namespace sim {

enum class Area : uint8_t { kCoil, kDiscreteInput, kInputRegister, kHoldingRegister };

// The preset value of an address, before anything was written.
uint16_t PresetValue(Area area, uint16_t address);

class Station {
 public:
  explicit Station(uint8_t address);

  uint8_t address() const { return address_; }

  // Bits read as 0 or 1; writing a bit area stores value != 0.
  uint16_t Get(Area area, uint16_t address) const;
  void Set(Area area, uint16_t address, uint16_t value);
  // Back to the preset pattern and the generated reports.
  void Reset();

  // Report number 1 to 16.
  const ReportText& Report(int number) const;
  void SetReport(int number, ReportText text);

 private:
  uint8_t address_;
  // Only what differs from the preset pattern is stored.
  std::array<std::unordered_map<uint16_t, uint16_t>, 4> written_;
  std::array<ReportText, 16> reports_;
};

}  // namespace sim
