// Command handlers: one per slot of the command table. Each takes the host's
// request and returns a DriverResult.
#pragma once

#include <cstdint>

#include "entry/host_records.h"

using VpiHandler = int32_t (*)(VpiRequest* request);

int32_t ColdStart(VpiRequest* request);
int32_t WarmStart(VpiRequest* request);
int32_t SingleAddressParser(VpiRequest* request);
int32_t BlockAddressParser(VpiRequest* request);
int32_t SingleRead(VpiRequest* request);
int32_t BlockRead(VpiRequest* request);
int32_t SingleWrite(VpiRequest* request);
int32_t BlockWrite(VpiRequest* request);
int32_t EndVpi(VpiRequest* request);
int32_t CloseCom(VpiRequest* request);
int32_t ReOpenCom(VpiRequest* request);
int32_t GetVpiInfo(VpiRequest* request);
int32_t ChangeVpiParams(VpiRequest* request);
int32_t BrowseAddress(VpiRequest* request);

// The table indexed by command code; slot 0 and empty slots are null.
extern const VpiHandler kCommandTable[kCommandSlots + 1];
