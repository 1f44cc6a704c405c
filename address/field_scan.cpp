#include "address/field_scan.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace kovrin {

bool CharAllowed(const char* allowed, char c) { return c != '\0' && std::strchr(allowed, c) != nullptr; }

bool AllDecimalDigits(const char* text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool ScanField(const char* text, const char* format, int* value) {
  const size_t length = std::strlen(format);
  const bool hex = length > 0 && format[length - 1] == 'x';
  if (hex) {
    // %x stores an unsigned int; a leading minus sign wraps it around, which
    // shows up here as a value that does not fit an int.
    unsigned int number = 0;
    if (std::sscanf(text, format, &number) != 1 || number > INT_MAX) return false;
    *value = static_cast<int>(number);
    return true;
  }
  int number = 0;
  if (std::sscanf(text, format, &number) != 1 || number < 0) return false;
  *value = number;
  return true;
}

}  // namespace kovrin
