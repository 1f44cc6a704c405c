// The checks of the dialog's number fields in the station's number base
// ('D', 'H' or 'L'). Each gives null when the text passes, or the message
// the dialog shows.
#pragma once

namespace kovrin {

const char* CheckPlcNumber(const char* text, char base);
const char* CheckAddress(const char* text, char base);
const char* CheckReportNumber(const char* text, char base);
const char* CheckLineNumber(const char* text, char base);

// Value of a hexadecimal (0-9, A-F, a-f) or decimal digit; -1 for others.
int DigitValue(char c, bool hexadecimal);

}  // namespace kovrin
