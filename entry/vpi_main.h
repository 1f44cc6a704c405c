// The module's one exported entry point.
//
// Threading. A host drives many lines at once, one instance (one instance
// area, one ColdStart) per line, often from a thread per line:
//   - Calls for different instances may run at the same time, from
//     different threads: transfers, report fetches, ColdStart, WarmStart,
//     CloseCom, ReOpenCom, ChangeVpiParams, the address parsers.
//   - Calls for the same instance must not: the host serialises them (one
//     call at a time per instance area). The driver takes no lock per
//     instance; its transfers take none at all.
//   - GetVpiInfo reads no instance and may run beside anything.
//   - The address dialog (BrowseAddress) is modal and exists once for the
//     module: while it is open, another is refused (53, a log line).
//   - Module-wide indicators stay module-wide: the last-error indicator is
//     one for all instances; after transactions on several lines at once it
//     holds the value one of them left. EndVpi ends the module for all.
// What instances share (the open-port and client records, the serial
// layer's handle table, the host library) is safe under this.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "platform/win32.h"

extern "C" VPI_EXPORT int32_t VPI_CDECL VpiMain(VpiRequest* request);
