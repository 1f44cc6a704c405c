#include "host/vpihost/gate_arguments.h"

#include <cerrno>
#include <cstdlib>

const char* const kOmittedTypeOrder[] = {"int16", "digital", "float", "int32", "text", "trigger"};
const int kOmittedTypeCount = static_cast<int>(sizeof kOmittedTypeOrder / sizeof kOmittedTypeOrder[0]);

bool ParseGateArgument(const std::string& text, int position, GateEntry* gate, std::string* error) {
  const auto fail = [&](const std::string& reason) {
    *error = "gate '" + text + "': " + reason;
    return false;
  };
  const size_t typeAt = text.find(':');
  const size_t sizeAt = typeAt == std::string::npos ? std::string::npos : text.find(':', typeAt + 1);
  const std::string address = text.substr(0, typeAt);
  if (address.empty()) return fail("no address (ADDR[:type[:blocksize]])");
  if (address.find_first_of(" \t#") != std::string::npos) return fail("an address has no blanks or '#'");
  GateEntry entry;
  entry.address = address;
  entry.line = position;
  entry.origin = "argument " + std::to_string(position);
  if (typeAt == std::string::npos) {
    entry.kind = FindGateKind(kOmittedTypeOrder[0]);
    entry.typeOmitted = true;
    *gate = entry;
    return true;
  }
  const std::string type =
      text.substr(typeAt + 1, sizeAt == std::string::npos ? std::string::npos : sizeAt - typeAt - 1);
  entry.kind = FindGateKind(type);
  if (entry.kind == nullptr) {
    return fail("unknown gate type '" + type + "' (digital, int16, float, int32, text or trigger)");
  }
  if (sizeAt != std::string::npos) {
    const std::string size = text.substr(sizeAt + 1);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(size.c_str(), &end, 10);
    if (size.empty() || *end != '\0' || errno != 0 || value < 1 || value > 100000) {
      return fail("block size '" + size + "' is not a number from 1 to 100000");
    }
    std::string reason;
    if (!CheckBlockSize(*entry.kind, value, &reason)) return fail(reason);
    entry.blockSize = static_cast<int32_t>(value);
  }
  *gate = entry;
  return true;
}

bool ParseGateArguments(const std::vector<std::string>& texts, std::vector<GateEntry>* gates,
                        std::string* error) {
  for (size_t i = 0; i < texts.size(); ++i) {
    GateEntry gate;
    if (!ParseGateArgument(texts[i], static_cast<int>(i + 1), &gate, error)) return false;
    gates->push_back(gate);
  }
  return true;
}
