// Start, restart, port control and end of a driver instance.
#pragma once

#include "entry/instance.h"
#include "platform/win32.h"

// Opens the port that settings describe; the handle, or null on failure.
// Changes nothing in the instance.
HANDLE OpenInstancePort(const PortSettings& settings);
