// How vpihost shows and takes gate values in the host's value area layout.
#pragma once

#include <cstdint>
#include <string>

// Text of a value area for a gate of this GateType and width; count > 0 for
// a block.
std::string FormatValues(const uint8_t* values, int32_t gateType, int32_t width, int32_t count);

// Fills a single gate's value area from a user's text; false with a reason
// when the text does not fit the gate.
bool ParseValue(const std::string& text, int32_t gateType, int32_t width, uint8_t* values,
                std::string* error);

// Fills a block's value area from comma-separated values; count receives
// their number.
bool ParseBlockValues(const std::string& text, int32_t gateType, int32_t width, uint8_t* values,
                      int32_t capacity, int32_t* count, std::string* error);

const char* ResultMeaning(int32_t result);
