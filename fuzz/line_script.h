// Turns fuzz bytes into the fake line's script: what a device, a noisy line
// and the timing between bytes give the driver.
//
// Control bytes, each followed by its data:
//   0x00-0x3F  a chunk of that many bytes (0: a read that times out);
//   0x40-0x7F  a chunk of ((c & 0x3F) << 8 | next byte) bytes;
//   0x80-0x8F  end of this reply: the next request gets the next one;
//   0x90-0x9F  the rest of this reply comes late, 0.4 + 0.2 x (c & 0x0F)
//              reply timeouts after its request (0.4 to 3.4): in time,
//              after the attempt's read timeout (seen by a later read or the
//              driver's wait for a quiet line), or later than the driver
//              waits; a second one in a reply is ignored;
//   0xA0-0xBF  the same, and the next request fails to go out;
//   0xC0-0xFF  the CRC of this reply's bytes so far, appended to its last
//              chunk (so that well-formed frames are easy to reach).
// A chunk's data stops at the end of the input.
#pragma once

#include "fuzz/fuzz_input.h"

// Installs the fake line (afresh) and scripts it from the rest of input.
void ScriptFakeLine(FuzzInput& input);
