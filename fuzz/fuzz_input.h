// A cursor over a fuzzer's input: fixed-size fields first, the rest as a
// byte string. Past the end every field reads as zero, so every input is
// usable however short.
#pragma once

#include <cstddef>
#include <cstdint>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
  int32_t I32() { return static_cast<int32_t>(U32()); }

  // Up to n bytes; *got tells how many were there.
  const uint8_t* Take(size_t n, size_t* got) {
    const size_t left = size_ - pos_;
    *got = n < left ? n : left;
    const uint8_t* at = data_ + pos_;
    pos_ += *got;
    return at;
  }
  const uint8_t* Rest(size_t* got) { return Take(size_ - pos_, got); }
  bool Empty() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
