// Loads the module the way a host does, in a process that does not link the
// host library itself, and checks that the driver's err() reaches the host
// library rather than the C library's err(3), which would end the process.

#include <cstdio>
#include <cstring>
#include <string>

#include "host_interface/host_records.h"
#include "host/zelpro/zelpro_host.h"
#include "programs/module_loader.h"

namespace {

using VpiMainFunction = int32_t(VPI_CDECL*)(VpiRequest*);
using SetSinkFunction = void (*)(ZelLogSink, void*);

struct Seen {
  int lines = 0;
  bool versionLine = false;
};

void Sink(int level, const char* text, void* context) {
  auto* seen = static_cast<Seen*>(context);
  ++seen->lines;
  if (level == 32 && std::strncmp(text, "KOVRIN>:version compiled on ", 28) == 0) {
    seen->versionLine = true;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: err_binding_probe MODULE HOST_LIBRARY\n");
    return 2;
  }
  char error[512];
  void* module = LoadModule(argv[1], error, sizeof error);
  if (module == nullptr) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  // The module brought the host library in; this finds the same copy.
  void* host = LoadModule(argv[2], error, sizeof error);
  if (host == nullptr) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  auto vpiMain = reinterpret_cast<VpiMainFunction>(FindModuleSymbol(module, "VpiMain"));
  auto setSink = reinterpret_cast<SetSinkFunction>(FindModuleSymbol(host, "ZelHostSetLogSink"));
  if (vpiMain == nullptr || setSink == nullptr) {
    std::fprintf(stderr, "missing VpiMain or ZelHostSetLogSink\n");
    return 1;
  }
  Seen seen;
  setSink(&Sink, &seen);

  alignas(8) static unsigned char instance[9464];
  ColdStartParams params{};
  params.portInUse = 0;
  VpiRequest request{instance, kCmdColdStart, 1, 0, &params};
  const int32_t result = vpiMain(&request);
  std::printf("ColdStart gave %d; %d log lines reached the host library\n", result, seen.lines);
  return result == kResultDone && seen.versionLine ? 0 : 1;
}
