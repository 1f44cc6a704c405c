// Gates on the command line, "ADDR[:type[:blocksize]]", for a quick look
// without a gates file.
#pragma once

#include <string>
#include <vector>

#include "host/vpihost/gates_file.h"

// What an omitted type becomes: the first of these that the driver's parser
// takes for the address, so 0140001 is an int16, 0100001 (a coil) and
// 01400105 (a bit) digital, 0170101 a float, R0101001 a text and !R01 a
// trigger.
extern const char* const kOmittedTypeOrder[];
extern const int kOmittedTypeCount;

// One gate argument; position (from 1) names it in errors and as the
// gate's origin.
bool ParseGateArgument(const std::string& text, int position, GateEntry* gate, std::string* error);
bool ParseGateArguments(const std::vector<std::string>& texts, std::vector<GateEntry>* gates,
                        std::string* error);
