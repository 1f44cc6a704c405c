#include "entry/vpi_main.h"

#include "entry/handlers.h"
#include "host_interface/instance.h"
#include "entry/lifecycle.h"

extern "C" VPI_EXPORT int32_t VPI_CDECL VpiMain(VpiRequest* request) {
  const uint32_t command = request->command;
  if (g_ended.load(std::memory_order_relaxed) != 0) {
    if (command == kCmdEndVpi || command == kCmdCloseCom) {
      kovrin::ReleaseAfterEnd(static_cast<VpiInstance*>(request->instance));
    }
    return kResultDone;
  }
  if (command == 0 || command > kCommandSlots) return kResultTransport;
  const kovrin::VpiHandler handler = kovrin::kCommandTable[command];
  if (handler == nullptr) return kResultTransport;
  return handler(request);
}
