#include "host/vpihost/gates_file.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

const GateKind kGateKinds[] = {
    {"digital", 6, "a coil, an input or one bit of a register"},
    {"int16", 2, "a 16-bit register, or one byte of a holding register"},
    {"float", 3, "a 32-bit floating-point value (two registers)"},
    {"int32", 4, "a 32-bit unsigned value (two registers)"},
    {"text", 7, "a report line: up to 80 characters of a fetched report"},
    {"trigger", 0, "a report trigger: writing a report number fetches that report"},
};
const int kGateKindCount = static_cast<int>(sizeof kGateKinds / sizeof kGateKinds[0]);

const GateKind* FindGateKind(const std::string& name) {
  for (const GateKind& kind : kGateKinds) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

const char kStdinName[] = "<stdin>";

int32_t MostBlockValues(const GateKind& kind) {
  switch (kind.gateType) {
    case 6:
      return 2000;
    case 2:
      return 125;
    case 3:
    case 4:
      return 62;
    default:
      return 0;
  }
}

bool CheckBlockSize(const GateKind& kind, long size, std::string* reason) {
  const int32_t most = MostBlockValues(kind);
  if (most == 0) {
    *reason = std::string("a ") + kind.name + " gate cannot be a block";
    return false;
  }
  if (size > most) {
    *reason = "a block of " + std::to_string(size) + " " + kind.name +
              " values does not fit one frame (at most " + std::to_string(most) + ")";
    return false;
  }
  return true;
}

bool ParseGates(const std::string& text, const std::string& fileName, std::vector<GateEntry>* gates,
                std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& reason) {
    *error = fileName + ":" + std::to_string(number) + ": " + reason;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::string address, type, size, extra;
    if (!(fields >> address)) continue;
    if (!(fields >> type)) return fail("gate '" + address + "' has no type");
    GateEntry gate;
    gate.address = address;
    gate.line = number;
    gate.origin = fileName + ":" + std::to_string(number);
    gate.kind = FindGateKind(type);
    if (gate.kind == nullptr) {
      return fail("unknown gate type '" + type + "' (digital, int16, float, int32, text or trigger)");
    }
    if (fields >> size) {
      char* end = nullptr;
      errno = 0;
      const long value = std::strtol(size.c_str(), &end, 10);
      if (*end != '\0' || errno != 0 || value < 1 || value > 100000) {
        return fail("block size '" + size + "' is not a number from 1 to 100000");
      }
      std::string reason;
      if (!CheckBlockSize(*gate.kind, value, &reason)) return fail(reason);
      gate.blockSize = static_cast<int32_t>(value);
    }
    if (fields >> extra) return fail("unexpected '" + extra + "' after the gate");
    gates->push_back(gate);
  }
  if (gates->empty()) {
    *error = fileName + ": no gates";
    return false;
  }
  return true;
}

bool LoadGatesFile(const std::string& path, std::vector<GateEntry>* gates, std::string* error) {
  if (path == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    return ParseGates(text.str(), kStdinName, gates, error);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseGates(text.str(), path, gates, error);
}
