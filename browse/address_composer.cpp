#include "browse/address_composer.h"

#include <cstdio>
#include <cstring>

namespace kovrin {

void ComposeAddress(const BrowseDialogState& state, char (&out)[kComposedAddressSize]) {
  if (state.reportLineMode) {
    std::snprintf(out, sizeof out, "R%.2s%.2s%.3s", state.plc, state.report, state.line);
  } else if (state.reportTriggerMode) {
    std::snprintf(out, sizeof out, "!R%.2s", state.plc);
  } else {
    const int addressDigits = state.base == 'L' ? 5 : 4;
    const char bit[2] = {std::strcmp(state.bit, "None") == 0 ? '\0' : state.bit[0], '\0'};
    std::snprintf(out, sizeof out, "%.2s%.1s%.*s%s", state.plc, state.memoryType, addressDigits,
                  state.address, bit);
  }
}

}  // namespace kovrin
