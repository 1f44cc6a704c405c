#include "host/vpihost/value_format.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Long(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutWord(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLong(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string Float(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return FloatText(f);
}

std::string One32(uint32_t v, int32_t gateType) { return gateType == 3 ? Float(v) : std::to_string(v); }

// One byte of a text as the table shows it.
std::string EscapedByte(unsigned char c) {
  switch (c) {
    case '\\':
      return "\\\\";
    case '"':
      return "\\\"";
    case '\r':
      return "\\r";
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    default:
      break;
  }
  if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", c);
  return text;
}

// A whole number from min to max, in decimal, hexadecimal (0x) or octal (0).
bool ParseWhole(const std::string& text, long long min, unsigned long long max, uint32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  if (text[0] == '-') {
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || v < min) return false;
    *out = static_cast<uint32_t>(v);  // two's complement, as the device keeps it
    return true;
  }
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || errno != 0 || v > max) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool ParseOne(const std::string& text, int32_t gateType, int32_t width, uint32_t* out, std::string* error) {
  if (width == 32 && gateType == 3) {
    char* end = nullptr;
    const float f = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
      *error = "'" + text + "' is not a number";
      return false;
    }
    std::memcpy(out, &f, sizeof f);
    return true;
  }
  // A register holds a signed or an unsigned value alike: both spellings
  // are taken (-1 is 65535 in 16 bits).
  const unsigned long long max = width == 32 ? 0xFFFFFFFFull : width == 1 ? 1 : 0xFFFF;
  const long long min = width == 32 ? -2147483648LL : width == 1 ? 0 : -32768;
  if (!ParseWhole(text, min, max, out)) {
    *error =
        "'" + text + "' is not a whole number from " + std::to_string(min) + " to " + std::to_string(max);
    return false;
  }
  if (width == 16) *out &= 0xFFFF;
  return true;
}

}  // namespace

std::string FloatText(float value) {
  // The fewest digits that read back as the same float; 9 always do.
  char text[48];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

std::vector<std::string> ValueTexts(const uint8_t* values, int32_t gateType, int32_t width, int32_t count) {
  if (count <= 0) {
    if (width == 32) return {One32(Long(values), gateType)};
    return {std::to_string(Word(values + 2))};
  }
  std::vector<std::string> items;
  items.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    if (width == 1) {
      items.push_back(std::to_string((values[i / 8] >> (i % 8)) & 1));
    } else if (width == 16) {
      items.push_back(std::to_string(Word(values + 2 * i)));
    } else {
      items.push_back(One32(Long(values + 4 * i), gateType));
    }
  }
  return items;
}

std::string FormatValues(const uint8_t* values, int32_t gateType, int32_t width, int32_t count) {
  const std::vector<std::string> items = ValueTexts(values, gateType, width, count);
  if (count <= 0) return items[0];
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i != 0 ? ", " : "") + items[i];
  return out + "]";
}

std::string TableText(const std::string& raw, size_t width) {
  std::string whole = "\"";
  for (const char c : raw) whole += EscapedByte(static_cast<unsigned char>(c));
  whole += "\"";
  if (whole.size() <= width) return whole;
  // Cut between escapes, never inside one, leaving room for the marker.
  const std::string marker = "\"...(" + std::to_string(raw.size()) + " chars)";
  std::string cut = "\"";
  for (const char c : raw) {
    const std::string piece = EscapedByte(static_cast<unsigned char>(c));
    if (cut.size() + piece.size() + marker.size() > width) break;
    cut += piece;
  }
  return cut + marker;
}

std::string TableBlock(const std::vector<std::string>& items, size_t width) {
  std::string whole = "[";
  for (size_t i = 0; i < items.size(); ++i) whole += (i != 0 ? ", " : "") + items[i];
  whole += "]";
  if (whole.size() <= width) return whole;
  const std::string marker = "... " + std::to_string(items.size()) + " values]";
  std::string cut = "[";
  for (const std::string& item : items) {
    if (cut.size() + item.size() + 2 + marker.size() > width) break;
    cut += item + ", ";
  }
  return cut + marker;
}

bool ParseValue(const std::string& text, int32_t gateType, int32_t width, uint8_t* values,
                std::string* error) {
  uint32_t v = 0;
  if (!ParseOne(text, gateType, width, &v, error)) return false;
  if (width == 32) {
    PutLong(values, v);
  } else {
    PutWord(values + 2, static_cast<uint16_t>(v));
  }
  return true;
}

bool ParseBlockValues(const std::string& text, int32_t gateType, int32_t width, uint8_t* values,
                      int32_t capacity, int32_t* count, std::string* error) {
  std::vector<std::string> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) items.push_back(item);
  // A block is written whole: fewer values would write part of it.
  if (static_cast<int32_t>(items.size()) != capacity) {
    *error = "the block holds " + std::to_string(capacity) + " values: give " + std::to_string(capacity) +
             " comma-separated values, not " + std::to_string(items.size());
    return false;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    uint32_t v = 0;
    if (!ParseOne(items[i], gateType, width, &v, error)) return false;
    if (width == 1) {
      if (v)
        values[i / 8] = static_cast<uint8_t>(values[i / 8] | (1u << (i % 8)));
      else
        values[i / 8] = static_cast<uint8_t>(values[i / 8] & ~(1u << (i % 8)));
    } else if (width == 16) {
      PutWord(values + 2 * i, static_cast<uint16_t>(v));
    } else {
      PutLong(values + 8 * i, v);  // a 32-bit block write takes 8-byte cells
    }
  }
  *count = static_cast<int32_t>(items.size());
  return true;
}

const char* ResultMeaning(int32_t result) {
  switch (result) {
    case 0:
      return "done";
    case 1:
      return "refused or failed";
    case 2:
      return "transport or port failure";
    case 53:
      return "cancelled";
    default:
      return "unknown result";
  }
}
