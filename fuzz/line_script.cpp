#include "fuzz/line_script.h"

#include "tests/support/fake_line.h"
#include "tests/support/frame_crc.h"

namespace {

constexpr size_t kReplyBytesKept = 4096;

}  // namespace

void ScriptFakeLine(FuzzInput& input) {
  FakeLineInstall();
  FakeLineSkipSleeps(true);
  static uint8_t reply[kReplyBytesKept];
  size_t replySize = 0;
  auto keep = [&](const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n && replySize < kReplyBytesKept; ++i) reply[replySize++] = bytes[i];
  };
  while (!input.Empty()) {
    const uint8_t c = input.Byte();
    if (c < 0x80) {
      size_t length = c & 0x3F;
      if (c >= 0x40) length = (length << 8) | input.Byte();
      size_t got = 0;
      const uint8_t* bytes = input.Take(length, &got);
      if (!FakeLineAddChunk(bytes, got)) return;
      keep(bytes, got);
    } else if (c >= 0x90 && c < 0xA0) {
      FakeLineLateRest(4 + 2 * static_cast<uint32_t>(c & 0x0F));
    } else if (c < 0xC0) {
      if (!FakeLineEndReply(c >= 0xA0)) return;
      replySize = 0;
    } else {
      uint8_t bytes[2];
      WriteCrc(reply, replySize, bytes);
      if (!FakeLineExtendChunk(bytes, 2)) return;
      keep(bytes, 2);
    }
  }
}
