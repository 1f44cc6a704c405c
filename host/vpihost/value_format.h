// How vpihost shows and takes gate values in the host's value area layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Text of a value area for a gate of this GateType and width; count > 0 for
// a block ("[1, 2, 3]").
std::string FormatValues(const uint8_t* values, int32_t gateType, int32_t width, int32_t count);

// Each value of the area on its own (one for a single gate), floats with as
// many digits as it takes to read the same float back.
std::vector<std::string> ValueTexts(const uint8_t* values, int32_t gateType, int32_t width, int32_t count);
std::string FloatText(float value);

// A text value for one table cell of at most width characters: quoted, with
// the backslash, the quote, control characters and bytes outside ASCII
// escaped (\\, \", \r, \n, \t, \x1A), and when it does not fit, cut with
// "...(N chars)" giving the full length.
std::string TableText(const std::string& raw, size_t width);
// A block's values for one table cell: "[1, 2, 3]", or when they do not fit
// "[1, 2, ... 100 values]".
std::string TableBlock(const std::vector<std::string>& items, size_t width);

// Fills a single gate's value area from a user's text; false with a reason
// when the text does not fit the gate.
bool ParseValue(const std::string& text, int32_t gateType, int32_t width, uint8_t* values,
                std::string* error);

// Fills a block's value area from comma-separated values, one for each of
// its capacity values (no more, no fewer); count receives their number.
bool ParseBlockValues(const std::string& text, int32_t gateType, int32_t width, uint8_t* values,
                      int32_t capacity, int32_t* count, std::string* error);

const char* ResultMeaning(int32_t result);
