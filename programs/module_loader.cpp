#include "programs/module_loader.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

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

#else
#include <dlfcn.h>

void* LoadModule(const char* path, char* error, size_t errorSize) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) std::snprintf(error, errorSize, "%s", dlerror());
  return module;
}

void* FindModuleSymbol(void* module, const char* name) { return dlsym(module, name); }

void UnloadModule(void* module) { dlclose(module); }
#endif
