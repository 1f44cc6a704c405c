// Small helpers shared by the address grammars: which characters a position
// allows, and the fixed-width number conversions of an address string.
#pragma once

#include <cstddef>

namespace kovrin {

// True when c is one of the characters of allowed. The terminating NUL of
// allowed never counts as allowed.
bool CharAllowed(const char* allowed, char c);

// True when the count characters from text are all decimal digits.
bool AllDecimalDigits(const char* text, size_t count);

// Converts one number with a single scanf conversion ("%02d", "%04x", ...)
// as the C library reads it. text must be NUL-terminated. Gives false when
// no number was read or the number is negative.
bool ScanField(const char* text, const char* format, int* value);

}  // namespace kovrin
