#include <windows.h>

#include <cstdio>

#include "programs/module_loader.h"

void* LoadModule(const char* path, char* error, size_t errorSize) {
  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) {
    std::snprintf(error, errorSize, "cannot load %s (error %lu)", path,
                  static_cast<unsigned long>(GetLastError()));
  }
  return reinterpret_cast<void*>(module);
}

void* FindModuleSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
