#include "sim/presets.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/text_parse.h"

namespace sim {

namespace {

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

bool ParseArea(std::string_view name, Area* area) {
  if (name == "coil")
    *area = Area::kCoil;
  else if (name == "input")
    *area = Area::kDiscreteInput;
  else if (name == "ir")
    *area = Area::kInputRegister;
  else if (name == "hr")
    *area = Area::kHoldingRegister;
  else
    return false;
  return true;
}

bool IsBitArea(Area area) { return area == Area::kCoil || area == Area::kDiscreteInput; }

bool ParseValues(std::string_view text, Area area, std::vector<uint16_t>* values, std::string* error) {
  for (std::string_view item : Split(text, ',')) {
    const std::string quoted = "\"" + std::string(item) + "\"";
    const size_t colon = item.find(':');
    if (colon == std::string_view::npos) {
      long long value = 0;
      const bool ok =
          IsBitArea(area) ? ParseInteger(item, 0, 1, &value) : ParseInteger(item, -32768, 65535, &value);
      if (!ok) return Fail(error, "bad value " + quoted);
      values->push_back(static_cast<uint16_t>(value));
      continue;
    }
    if (IsBitArea(area)) return Fail(error, "32-bit value " + quoted + " in a bit area");
    const std::string_view type = Trim(item.substr(0, colon));
    const std::string_view number = item.substr(colon + 1);
    std::vector<uint16_t> pair;
    if (type == "float" || type == "float-swap") {
      double value = 0;
      if (!ParseDouble(number, &value)) return Fail(error, "bad float " + quoted);
      pair = FloatRegisters(static_cast<float>(value), type == "float-swap");
    } else if (type == "ulong" || type == "ulong-swap") {
      long long value = 0;
      if (!ParseInteger(number, -2147483648LL, 4294967295LL, &value))
        return Fail(error, "bad unsigned long " + quoted);
      pair = UlongRegisters(static_cast<uint32_t>(value), type == "ulong-swap");
    } else {
      return Fail(error, "unknown value type " + quoted);
    }
    values->insert(values->end(), pair.begin(), pair.end());
  }
  return true;
}

bool ParseReportSource(std::string_view source, const std::string& baseDir, ReportText* report,
                       std::string* error) {
  const std::string text(source);
  if (SpecialReport(text, report)) return true;
  const bool file = text.rfind("file:", 0) == 0;
  const bool raw = text.rfind("raw:", 0) == 0;
  if (!file && !raw) return Fail(error, "unknown report \"" + text + "\"");
  std::filesystem::path path(text.substr(file ? 5 : 4));
  if (path.empty()) return Fail(error, "report file name missing in \"" + text + "\"");
  if (path.is_relative() && !baseDir.empty()) path = std::filesystem::path(baseDir) / path;
  report->endMark = file;
  if (!ReadFileBytes(path.string(), &report->text))
    return Fail(error, "cannot read report file " + path.string());
  return true;
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::vector<uint16_t> FloatRegisters(float value, bool lowWordFirst) {
  return UlongRegisters(std::bit_cast<uint32_t>(value), lowWordFirst);
}

std::vector<uint16_t> UlongRegisters(uint32_t value, bool lowWordFirst) {
  const uint16_t high = static_cast<uint16_t>(value >> 16);
  const uint16_t low = static_cast<uint16_t>(value & 0xFFFF);
  return lowWordFirst ? std::vector<uint16_t>{low, high} : std::vector<uint16_t>{high, low};
}

bool ParseStationList(std::string_view text, std::vector<uint8_t>* stations, std::string* error) {
  std::vector<uint8_t> parsed;
  for (std::string_view item : Split(text, ',')) {
    long long first = 0, last = 0;
    const size_t dash = item.find('-');
    const bool ok = dash == std::string_view::npos
                        ? ParseInteger(item, 1, 247, &first) && (last = first, true)
                        : ParseInteger(item.substr(0, dash), 1, 247, &first) &&
                              ParseInteger(item.substr(dash + 1), 1, 247, &last) && first <= last;
    if (!ok) return Fail(error, "bad station \"" + std::string(item) + "\" (stations are 1 to 247)");
    for (long long s = first; s <= last; ++s) {
      if (std::find(parsed.begin(), parsed.end(), s) == parsed.end())
        parsed.push_back(static_cast<uint8_t>(s));
    }
  }
  *stations = std::move(parsed);
  return true;
}

bool ParsePreset(std::string_view text, const std::string& baseDir, Presets* presets, std::string* error) {
  const std::string quoted = "\"" + std::string(text) + "\"";
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) return Fail(error, "expected NAME=VALUE in " + quoted);
  std::vector<std::string_view> target = Split(text.substr(0, equals), ':');
  const std::string_view rhs = Trim(text.substr(equals + 1));
  int station = 0;
  if (target.size() == 3) {
    long long value = 0;
    if (!ParseInteger(target[0], 1, 247, &value)) return Fail(error, "bad station in " + quoted);
    station = static_cast<int>(value);
    target.erase(target.begin());
  }
  if (target.size() != 2) return Fail(error, "expected [STATION:]AREA:ADDRESS=VALUE in " + quoted);
  if (target[0] == "report") {
    ReportPreset report;
    report.station = station;
    long long number = 0;
    if (!ParseInteger(target[1], 1, 16, &number)) return Fail(error, "bad report number in " + quoted);
    report.number = static_cast<int>(number);
    report.generated = rhs == "generated";
    if (!report.generated && !ParseReportSource(rhs, baseDir, &report.text, error)) return false;
    presets->reports.push_back(std::move(report));
    return true;
  }
  ValuePreset preset;
  preset.station = station;
  if (!ParseArea(target[0], &preset.area))
    return Fail(error, "unknown area in " + quoted + " (coil, input, ir, hr)");
  long long address = 0;
  if (!ParseInteger(target[1], 0, 65535, &address)) return Fail(error, "bad address in " + quoted);
  preset.address = static_cast<uint16_t>(address);
  std::string why;
  if (!ParseValues(rhs, preset.area, &preset.values, &why)) return Fail(error, why + " in " + quoted);
  if (preset.address + preset.values.size() > 0x10000u)
    return Fail(error, "values run past address 65535 in " + quoted);
  presets->values.push_back(std::move(preset));
  return true;
}

bool LoadValueFile(const std::string& path, Presets* presets, std::string* error) {
  std::ifstream in(path);
  if (!in) return Fail(error, "cannot open value file " + path);
  const std::string baseDir = std::filesystem::path(path).parent_path().string();
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string_view text = Trim(line);
    if (text.empty() || text[0] == '#') continue;
    std::string why;
    if (!ParsePreset(text, baseDir, presets, &why)) {
      return Fail(error, path + ":" + std::to_string(number) + ": " + why);
    }
  }
  return true;
}

void ApplyPresets(const Presets& presets, Station& station) {
  for (const ValuePreset& preset : presets.values) {
    if (preset.station != 0 && preset.station != station.address()) continue;
    for (size_t i = 0; i < preset.values.size(); ++i) {
      station.Set(preset.area, static_cast<uint16_t>(preset.address + i), preset.values[i]);
    }
  }
  for (const ReportPreset& report : presets.reports) {
    if (report.station != 0 && report.station != station.address()) continue;
    station.SetReport(report.number,
                      report.generated ? GeneratedReport(station.address(), report.number) : report.text);
  }
}

}  // namespace sim
