// Loading a module at run time, for host programs (not for the driver).
#pragma once

#include <cstddef>

// Returns the loaded module, or null with a reason in error.
void* LoadModule(const char* path, char* error, size_t errorSize);
void* FindModuleSymbol(void* module, const char* name);
void UnloadModule(void* module);
