// Human-readable lines for the commissioning trace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// "01 03 00 00 00 0A C5 CD"
std::string HexBytes(const uint8_t* bytes, size_t size);
// What a request asks for, e.g. "read holding registers 0..9 (10)".
std::string DescribeRequest(const uint8_t* frame, size_t length);
// What an answer (with CRC) says, e.g. "exception 2 (illegal data address)".
std::string DescribeAnswer(const uint8_t* frame, size_t length);

}  // namespace sim
