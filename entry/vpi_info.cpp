#include "entry/handlers.h"
#include "host_interface/instance.h"

namespace {
const char kDriverName[] = "OMNI Flow";
const char kDriverDescription[] = "ModBus/J-BUS (RTU protocol) 32 Bit driver Installed.\n";
}  // namespace

// Reads nothing but params, so it works before any instance exists.
int32_t GetVpiInfo(VpiRequest* request) {
  auto* info = static_cast<VpiInfo*>(request->params);
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
