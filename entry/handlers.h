// Command handlers: one per slot of the command table. Each takes the host's
// request and returns a DriverResult. Those of entry/ are declared here; the
// others in the headers of the folders that carry the commands out.
#pragma once

#include <cstdint>

#include "address/address_commands.h"
#include "host_interface/host_records.h"
#include "transfer/read.h"
#include "transfer/write.h"

using VpiHandler = int32_t (*)(VpiRequest* request);

int32_t ColdStart(VpiRequest* request);
int32_t WarmStart(VpiRequest* request);
int32_t EndVpi(VpiRequest* request);
int32_t CloseCom(VpiRequest* request);
int32_t ReOpenCom(VpiRequest* request);
int32_t GetVpiInfo(VpiRequest* request);
int32_t ChangeVpiParams(VpiRequest* request);
int32_t BrowseAddress(VpiRequest* request);

// The table indexed by command code; slot 0 and empty slots are null.
extern const VpiHandler kCommandTable[kCommandSlots + 1];
