// The module's one exported entry point.
#pragma once

#include <cstdint>

#include "entry/host_records.h"
#include "platform/win32.h"

extern "C" VPI_EXPORT int32_t VPI_CDECL VpiMain(VpiRequest* request);
