#include "transfer/value_area.h"

#include "host_interface/host_records.h"
#include "host_interface/instance.h"

namespace kovrin {

bool WordsSwapped(int32_t memoryType, uint16_t flags) {
  if (memoryType == kMemInputLong || memoryType == kMemHoldingLong) return (flags & kFlagSwap) != 0;
  if (memoryType == kMemInputFloat || memoryType == kMemHoldingFloat) {
    return (flags & kFlagFloatSwap) != 0;
  }
  return false;
}

uint16_t FrameAddress(int32_t address, int32_t width, uint16_t flags) {
  uint32_t frameAddress = static_cast<uint32_t>(address);
  if (width == 32 && !(flags & kFlagLongAddr)) frameAddress *= 2;
  return static_cast<uint16_t>(frameAddress);
}

}  // namespace kovrin
