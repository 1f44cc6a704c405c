// What this module opened and registered for which instance area, so that
// a second ColdStart of the same area can release what the first one left,
// while garbage in a fresh area is never taken for a handle or a client.
// Safe to call from the threads of different instances at once.
#pragma once

#include "platform/win32.h"

namespace kovrin {

// Records a handle this module opened for the area (its latest one);
// forgets it on close. The table is small and fixed: when it is full, the
// oldest entries make room, and their areas restart as with an unknown
// handle.
void RememberOpenedPort(const void* area, HANDLE handle);
void ForgetOpenedPort(const void* area, HANDLE handle);
// True when handle was opened for this same area and is still open.
bool OpenedForArea(const void* area, HANDLE handle);

// The same for the host client registered for the area.
void RememberClient(const void* area, unsigned char clientId);
void ForgetClient(const void* area, unsigned char clientId);
bool ClientOfArea(const void* area, unsigned char clientId);

}  // namespace kovrin
