// Frames as they go on the line, for the tests, the benchmark's slave and the
// fuzz targets: the bytes, then their CRC-16 (the driver's own), low byte
// first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/crc16.h"

// The CRC of bytes[0, length) in its wire order into out[0] and out[1] (which
// may be bytes + length).
inline void WriteCrc(const uint8_t* bytes, size_t length, uint8_t* out) {
  const uint16_t crc = kovrin::Crc16(bytes, length);
  out[0] = static_cast<uint8_t>(crc & 0xFF);
  out[1] = static_cast<uint8_t>(crc >> 8);
}

inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
  const size_t length = bytes.size();
  bytes.resize(length + 2);
  WriteCrc(bytes.data(), length, bytes.data() + length);
  return bytes;
}
