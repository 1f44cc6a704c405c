#include "sim/frame_assembler.h"

#include <algorithm>

#include "serial/crc16.h"

using namespace kovrin;

namespace sim {

namespace {

bool CrcMatches(const uint8_t* bytes, size_t length) { return length >= 4 && Crc16(bytes, length) == 0; }

bool IsCompleteFrame(const uint8_t* bytes, size_t size);

}  // namespace

long RequestFrameLength(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 65:
      return 8;
    case 7:
    case 11:
    case 12:
    case 17:  // no data
      return 4;
    case 15:
    case 16:  // start, quantity, byte count, data
      return size < 7 ? 0 : 9 + bytes[6];
    case 20:
    case 21:  // byte count, data
      return size < 3 ? 0 : 5 + bytes[2];
    case 22:  // mask write: address, and-mask, or-mask
      return 10;
    case 23:  // read start, quantity, write start, quantity, byte count, data
      return size < 11 ? 0 : 13 + bytes[10];
    case 24:  // FIFO address
      return 6;
    default:
      return -1;
  }
}

namespace {

// A frame with a length rule, all there, with a matching CRC.
bool IsCompleteFrame(const uint8_t* bytes, size_t size) {
  const long length = RequestFrameLength(bytes, size);
  return length > 0 && static_cast<size_t>(length) <= size && CrcMatches(bytes, static_cast<size_t>(length));
}

}  // namespace

void FrameAssembler::Push(const uint8_t* bytes, size_t size) {
  buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void FrameAssembler::DropFront(size_t count) {
  count = std::min(count, buffer_.size());
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(count));
  discarded_ += count;
}

bool FrameAssembler::Next(std::vector<uint8_t>* frame, bool idle) {
  uint8_t window[kMaxRequestFrame];
  while (!buffer_.empty()) {
    const size_t size = std::min(buffer_.size(), kMaxRequestFrame);
    std::copy(buffer_.begin(), buffer_.begin() + static_cast<long>(size), window);
    const long length = RequestFrameLength(window, size);
    if (length > 0) {
      if (static_cast<size_t>(length) <= size) {
        if (CrcMatches(window, static_cast<size_t>(length))) {
          frame->assign(window, window + length);
          buffer_.erase(buffer_.begin(), buffer_.begin() + length);
          return true;
        }
        DropFront(1);
        continue;
      }
    } else if (length < 0) {
      // No length rule: the shortest stretch whose CRC matches.
      const size_t limit = std::min(size, size_t{256});
      for (size_t candidate = 4; candidate <= limit; ++candidate) {
        if (CrcMatches(window, candidate)) {
          frame->assign(window, window + candidate);
          buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(candidate));
          return true;
        }
      }
      // A complete frame further on shows that these bytes were garbage.
      size_t next = 1;
      while (next + 4 <= size && !IsCompleteFrame(window + next, size - next)) ++next;
      if (next + 4 <= size || size >= 256) {
        DropFront(next + 4 <= size ? next : 1);
        continue;
      }
    }
    // Incomplete: wait for more bytes, unless none are coming.
    if (!idle) return false;
    DropFront(1);
  }
  return false;
}

}  // namespace sim
