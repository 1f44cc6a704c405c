// Command handlers: one per slot of the command table, which decodes the
// host's request into what each takes (its instance, its parameter record,
// the driver number) and returns its DriverResult. Those of entry/ are
// declared here; the others in the headers of the folders that carry the
// commands out.
#pragma once

#include <cstdint>

#include "address/address_commands.h"
#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "transfer/read.h"
#include "transfer/write.h"

namespace kovrin {

using VpiHandler = int32_t (*)(VpiRequest* request);

int32_t ColdStart(VpiInstance* instance, const ColdStartParams* params, int32_t driverNumber);
int32_t WarmStart(VpiInstance* instance);
int32_t EndVpi(VpiInstance* instance);
int32_t CloseCom(VpiInstance* instance);
int32_t ReOpenCom(VpiInstance* instance, int32_t driverNumber);
// Reads nothing but its record, so it works before any instance exists.
int32_t GetVpiInfo(VpiInfo* info);
int32_t ChangeVpiParams(VpiInstance* instance, const ChangeParams* params, int32_t driverNumber);
int32_t BrowseAddress(BrowseRequest* params, int32_t driverNumber);

// The table indexed by command code; slot 0 and empty slots are null.
extern const VpiHandler kCommandTable[kCommandSlots + 1];

}  // namespace kovrin
