#include "sim/station.h"

namespace sim {

uint16_t PresetValue(Area area, uint16_t address) {
  switch (area) {
    case Area::kCoil:
      return address % 3 == 0 ? 1 : 0;
    case Area::kDiscreteInput:
      return address & 1;
    case Area::kInputRegister:
      return static_cast<uint16_t>(address ^ 0x5555);
    case Area::kHoldingRegister:
      return address;
  }
  return 0;
}

Station::Station(uint8_t address) : address_(address) { Reset(); }

uint16_t Station::Get(Area area, uint16_t address) const {
  const auto& written = written_[static_cast<size_t>(area)];
  const auto it = written.find(address);
  return it != written.end() ? it->second : PresetValue(area, address);
}

void Station::Set(Area area, uint16_t address, uint16_t value) {
  if (area == Area::kCoil || area == Area::kDiscreteInput) value = value != 0 ? 1 : 0;
  written_[static_cast<size_t>(area)][address] = value;
}

void Station::Reset() {
  for (auto& written : written_) written.clear();
  for (int number = 1; number <= 16; ++number) reports_[number - 1] = GeneratedReport(address_, number);
}

const ReportText& Station::Report(int number) const { return reports_.at(static_cast<size_t>(number - 1)); }

void Station::SetReport(int number, ReportText text) {
  reports_.at(static_cast<size_t>(number - 1)) = std::move(text);
}

}  // namespace sim
