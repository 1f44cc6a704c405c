// Small helpers for the simulator's text formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

std::string_view Trim(std::string_view text);
// Splits at every separator; pieces are trimmed.
std::vector<std::string_view> Split(std::string_view text, char separator);
// A whole decimal or 0x-prefixed hexadecimal number within [low, high].
bool ParseInteger(std::string_view text, long long low, long long high, long long* value);
bool ParseDouble(std::string_view text, double* value);

}  // namespace sim
