// Byte helpers for the simulator's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/frame_crc.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

// "01 03 00 00" -> bytes.
inline Bytes Hex(const std::string& text) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < text.size() + 1;) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

inline Bytes HexCrc(const std::string& text) { return WithCrc(Hex(text)); }

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace simtest
