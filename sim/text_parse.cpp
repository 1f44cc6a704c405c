#include "sim/text_parse.h"

#include <cerrno>
#include <cstdlib>

namespace sim {

std::string_view Trim(std::string_view text) {
  const char* kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    pieces.push_back(
        Trim(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

bool ParseInteger(std::string_view text, long long low, long long high, long long* value) {
  text = Trim(text);
  if (text.empty()) return false;
  const std::string copy(text);
  int base = 10;
  const char* digits = copy.c_str();
  bool negative = false;
  if (*digits == '-') {
    negative = true;
    ++digits;
  }
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits += 2;
  }
  if (*digits == '\0' || *digits == '-' || *digits == '+' || *digits == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(digits, &end, base);
  if (errno != 0 || *end != '\0') return false;
  const long long result = negative ? -parsed : parsed;
  if (result < low || result > high) return false;
  *value = result;
  return true;
}

bool ParseDouble(std::string_view text, double* value) {
  text = Trim(text);
  if (text.empty()) return false;
  const std::string copy(text);
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(copy.c_str(), &end);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

}  // namespace sim
