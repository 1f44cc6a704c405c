#include "entry/handlers.h"
#include "host_interface/instance.h"

namespace kovrin {

namespace {
const char kDriverName[] = "OMNI Flow";
const char kDriverDescription[] = "ModBus/J-BUS (RTU protocol) 32 Bit driver Installed.\n";
}  // namespace

int32_t GetVpiInfo(VpiInfo* info) {
  info->hostInfoA = 70;
  info->name = kDriverName;
  info->description = kDriverDescription;
  info->instanceSize = kInstanceSize;
  info->hostInfoB = 4;
  info->defaultBaud = 9600;
  info->defaultDataBits = 8;
  info->defaultStopBits = 0;
  info->defaultParity = 0;
  info->hostInfoC = 35;
  return kResultDone;
}

}  // namespace kovrin
