// vpihost: runs the driver module as the host runtime does.

#include <cstdio>
#include <cstring>

#include "entry/host_records.h"
#include "host/zelpro/zelpro_host.h"
#include "platform/module_loader.h"

namespace {

using VpiMainFunction = int32_t(VPI_CDECL*)(VpiRequest*);

void Usage() {
  std::printf(
      "usage: vpihost [--module PATH]\n"
      "\n"
      "Loads the driver module and prints what it reports about itself.\n"
      "  --module PATH   the driver module (default: %s)\n",
      KOVRIN_MODULE_PATH);
}

}  // namespace

int main(int argc, char** argv) {
  const char* modulePath = KOVRIN_MODULE_PATH;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--module") == 0 && i + 1 < argc) {
      modulePath = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage();
      return 0;
    } else {
      std::fprintf(stderr, "vpihost: unknown argument '%s' (try --help)\n", argv[i]);
      return 2;
    }
  }

  char error[512];
  void* module = LoadModule(modulePath, error, sizeof error);
  if (module == nullptr) {
    std::fprintf(stderr, "vpihost: %s\n", error);
    return 2;
  }
  auto vpiMain = reinterpret_cast<VpiMainFunction>(FindModuleSymbol(module, "VpiMain"));
  if (vpiMain == nullptr) {
    std::fprintf(stderr, "vpihost: %s exports no VpiMain\n", modulePath);
    return 2;
  }

  VpiInfo info{};
  VpiRequest request{};
  request.command = kCmdGetVpiInfo;
  request.params = &info;
  const int32_t result = vpiMain(&request);
  std::printf("module       %s\n", modulePath);
  std::printf("name         %s\n", info.name);
  std::printf("description  %s", info.description);
  std::printf("instance     %u bytes\n", info.instanceSize);
  std::printf("line         %u baud, %d data bits, stop code %d, parity code %d\n",
              info.defaultBaud, info.defaultDataBits, info.defaultStopBits, info.defaultParity);
  std::printf("result       %d\n", result);
  return result == kResultDone ? 0 : 1;
}
