#include "sim/trace.h"

#include <cstdio>

#include "sim/reports.h"

namespace sim {

namespace {

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

std::string Range(const char* what, uint16_t start, uint16_t quantity) {
  char text[96];
  std::snprintf(text, sizeof text, "%s %u..%u (%u)", what, start, static_cast<unsigned>(start + quantity - 1),
                quantity);
  return text;
}

const char* ExceptionName(uint8_t code) {
  switch (code) {
    case 1:
      return "illegal function";
    case 2:
      return "illegal data address";
    case 3:
      return "illegal data value";
    case 4:
      return "slave device failure";
    case 5:
      return "acknowledge";
    case 6:
      return "slave device busy";
    case 7:
      return "negative acknowledge";
    case 8:
      return "memory parity error";
    default:
      return "unknown code";
  }
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t size) {
  std::string text;
  text.reserve(size * 3);
  char hex[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += hex;
  }
  return text;
}

std::string DescribeRequest(const uint8_t* frame, size_t length) {
  if (length < 4) return "short frame";
  const uint8_t* data = frame + 2;
  const bool fixed = length >= 8;
  char text[96];
  switch (frame[1]) {
    case 1:
      return fixed ? Range("read coils", Word(data), Word(data + 2)) : "read coils";
    case 2:
      return fixed ? Range("read inputs", Word(data), Word(data + 2)) : "read inputs";
    case 3:
      return fixed ? Range("read holding registers", Word(data), Word(data + 2)) : "read holding registers";
    case 4:
      return fixed ? Range("read input registers", Word(data), Word(data + 2)) : "read input registers";
    case 5:
      std::snprintf(text, sizeof text, "write coil %u = %s", Word(data),
                    Word(data + 2) == 0xFF00 ? "1"
                    : Word(data + 2) == 0    ? "0"
                                             : "?");
      return text;
    case 6:
      std::snprintf(text, sizeof text, "write holding register %u = %u (0x%04X)", Word(data), Word(data + 2),
                    Word(data + 2));
      return text;
    case 15:
      return fixed ? Range("write coils", Word(data), Word(data + 2)) : "write coils";
    case 16:
      return fixed ? Range("write holding registers", Word(data), Word(data + 2)) : "write holding registers";
    case 65:
      if (!fixed) return "read report packet";
      std::snprintf(text, sizeof text, "read report %d (code %u) packet %u", ReportNumberOfCode(Word(data)),
                    Word(data), Word(data + 2));
      return text;
    default:
      std::snprintf(text, sizeof text, "function %u", frame[1]);
      return text;
  }
}

std::string DescribeAnswer(const uint8_t* frame, size_t length) {
  if (length >= 3 && (frame[1] & 0x80)) {
    char text[64];
    std::snprintf(text, sizeof text, "exception %u (%s)", frame[2], ExceptionName(frame[2]));
    return text;
  }
  return std::to_string(length) + " bytes";
}

}  // namespace sim
