#include <dlfcn.h>

#include <cstdio>

#include "programs/module_loader.h"

void* LoadModule(const char* path, char* error, size_t errorSize) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) std::snprintf(error, errorSize, "%s", dlerror());
  return module;
}

void* FindModuleSymbol(void* module, const char* name) { return dlsym(module, name); }

void UnloadModule(void* module) { dlclose(module); }
