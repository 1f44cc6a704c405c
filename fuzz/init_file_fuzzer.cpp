// The init file: arbitrary bytes as the content of KOVRIN.INT, read by
// ReadInitFile. Every setting must end inside its domain, and nothing of the
// instance but the settings may change.

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "entry/init_file.h"
#include "host_interface/instance.h"
#include "fuzz/driver_harness.h"
#include "fuzz/fuzz_check.h"

using namespace kovrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareFuzzProcess();
  FILE* file = std::fopen("KOVRIN.INT", "wb");
  FUZZ_CHECK(file != nullptr, "cannot write the init file");
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  auto* instance = new VpiInstance;
  std::memset(static_cast<void*>(instance), 0xCD, sizeof *instance);
  instance->protocol = 'M';
  instance->RTSCTS = 0;
  auto* before = new VpiInstance;
  std::memcpy(static_cast<void*>(before), instance, sizeof *instance);

  VpiRequest request{instance, kCmdColdStart, 3, 0, nullptr};
  const DemoteSetting demote =
      ReadInitFile(static_cast<VpiInstance*>(request.instance), request.driverNumber);

  FUZZ_CHECK(instance->protocol == 'M' || instance->protocol == 'J', "protocol %d", instance->protocol);
  FUZZ_CHECK(instance->base == 'D' || instance->base == 'H' || instance->base == 'L', "base %d",
             instance->base);
  FUZZ_CHECK((instance->flags & ~(kFlagSwap | kFlagFloatSwap | kFlagLongAddr | kFlagHexReports | kFlagEcho |
                                  kFlagEchoAuto)) == 0,
             "flags %#x", instance->flags);
  FUZZ_CHECK((instance->flags & (kFlagEcho | kFlagEchoAuto)) != (kFlagEcho | kFlagEchoAuto), "flags %#x",
             instance->flags);
  FUZZ_CHECK((demote.afterSilent == 0 && demote.periodS == 0) ||
                 (demote.afterSilent >= 1 && demote.periodS >= 1 && demote.periodS <= 3600),
             "DEMOTE = %u , %u", static_cast<unsigned>(demote.afterSilent),
             static_cast<unsigned>(demote.periodS));
  FUZZ_CHECK(instance->RTSCTS == 0 || instance->RTSCTS == 1, "RTSCTS %d", instance->RTSCTS);

  // Everything else is as it was.
  before->protocol = instance->protocol;
  before->base = instance->base;
  before->flags = instance->flags;
  before->IFG = instance->IFG;
  before->IFG_MS = instance->IFG_MS;
  before->RTSCTS = instance->RTSCTS;
  FUZZ_CHECK(std::memcmp(before, instance, sizeof *instance) == 0,
             "the init file changed more than the settings");
  delete before;
  delete instance;
  return 0;
}
