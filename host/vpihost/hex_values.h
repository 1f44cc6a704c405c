// --hex: integer values in hexadecimal for people and spreadsheets. JSON
// keeps its numbers, so only the table and CSV writers get the hex texts.
#pragma once

#include <memory>
#include <string>

#include "host/vpihost/options.h"
#include "host/vpihost/poll_output.h"

// "0x002A" for a 16-bit value, "0x0001E240" for a 32-bit one, from the
// unsigned decimal text that ValueTexts gives; digits is 4 or 8. A text that
// is no such number is returned as it is.
std::string HexValueText(const std::string& decimal, int digits);

// The reading with its int16 and int32 values (single or block) in
// hexadecimal; floats, digitals, texts and failed reads unchanged.
Reading WithHexValues(Reading reading);

// The writer, or one that hands it hexadecimal readings when hex is asked
// for and the format is not JSON.
std::unique_ptr<ReadingsWriter> HexWhereAsked(std::unique_ptr<ReadingsWriter> writer, OutputFormat format,
                                              bool hex);
