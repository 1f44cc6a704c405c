// The host's value area is little-endian whatever the machine; frames are
// big-endian. These helpers move values between the two byte by byte.
#pragma once

#include <cstdint>

namespace kovrin {

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void StoreBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

inline uint16_t LoadBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline uint32_t SwapHalves(uint32_t v) { return (v << 16) | (v >> 16); }

// Whether a 32-bit gate's words travel low word first: SWAP for the
// unsigned-long areas, FLOATSWAP for the float areas.
bool WordsSwapped(int32_t memoryType, uint16_t flags);

// Start address of a request: 32-bit gates are stored as register-pair
// indexes unless LONGADDR is set.
uint16_t FrameAddress(int32_t address, int32_t width, uint16_t flags);

// The most data bytes one frame carries: what its byte-count byte can
// announce.
constexpr int kMaxFrameData = 255;

// The data bytes of a block of count values of that width on the wire (bits
// packed eight a byte); -1 for a width of no block. Wide enough for any
// count the host may send.
inline int64_t BlockDataBytes(int32_t width, int32_t count) {
  switch (width) {
    case 1:
      return (static_cast<int64_t>(count) + 7) / 8;
    case 16:
      return static_cast<int64_t>(count) * 2;
    case 32:
      return static_cast<int64_t>(count) * 4;
    default:
      return -1;
  }
}

}  // namespace kovrin
