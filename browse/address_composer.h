// Composes the gate address string from the browse dialog's state.
#pragma once

#include "browse/browse_state.h"

namespace kovrin {

// The longest composition (base L with a bit) and its terminating zero.
constexpr int kComposedAddressSize = 10;

// Report-line mode: "R" plc report line; report-trigger mode: "!R" plc;
// otherwise plc, memory type character, address (4 digits, 5 in base L)
// and the bit character unless the bit item is "None". Each part is taken
// at its length at most, so the result always fits.
void ComposeAddress(const BrowseDialogState& state, char (&out)[kComposedAddressSize]);

}  // namespace kovrin
