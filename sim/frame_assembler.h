// Cuts request frames out of the received byte stream.
//
// A pseudo-terminal keeps no silent intervals, so frames are delimited by
// their own length rules: the function code (and for 15, 16 and a few other
// standard functions a byte count) gives the length, and the frame counts
// only when its CRC matches. For function codes without a known length the
// shortest length from 4 to 256 bytes whose CRC matches is taken. Bytes that
// cannot start a valid frame are dropped one at a time (resynchronisation).
// A frame without a length rule that is not yet complete gives way to a
// complete frame found further on. When the line falls idle, a frame still
// incomplete can no longer be finished: its first byte is dropped and the
// search goes on, so garbage with a misleading length does not swallow the
// frames behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

constexpr size_t kMaxRequestFrame = 264;  // 15/16 with byte count 255

// Length of the request frame that starts buf (with CRC), 0 when it is not
// known yet (too few bytes) and -1 when the function has no length rule.
long RequestFrameLength(const uint8_t* bytes, size_t size);

class FrameAssembler {
 public:
  void Push(const uint8_t* bytes, size_t size);
  // Takes the next valid frame off the front. idle: no byte arrived for a
  // while, so an incomplete frame at the front is garbage. False when no
  // frame can be completed from the bytes held.
  bool Next(std::vector<uint8_t>* frame, bool idle);

  size_t pending() const { return buffer_.size(); }
  // Bytes thrown away in resynchronisation, since construction.
  uint64_t discarded() const { return discarded_; }

 private:
  void DropFront(size_t count);

  std::deque<uint8_t> buffer_;
  uint64_t discarded_ = 0;
};

}  // namespace sim
