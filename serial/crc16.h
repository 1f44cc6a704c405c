// CRC-16/MODBUS: reflected polynomial 0xA001, initial 0xFFFF, no final XOR.
// Sent low byte first; over a whole frame with its CRC the result is 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovrin {

uint16_t Crc16(const uint8_t* bytes, size_t length);

}  // namespace kovrin
