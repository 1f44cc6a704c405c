// Start, restart, port control and end of a driver instance.
#pragma once

#include "host_interface/host_records.h"
#include "host_interface/instance.h"
#include "platform/win32.h"

namespace kovrin {

// Opens the port that settings describe; the handle, or null on failure.
// Changes nothing in the instance.
HANDLE OpenInstancePort(const PortSettings& settings);

// After EndVpi has ended the module, an EndVpi or CloseCom of another
// instance still releases what this module opened and registered for that
// instance's area; nothing else changes.
void ReleaseAfterEnd(VpiInstance* instance);

}  // namespace kovrin
