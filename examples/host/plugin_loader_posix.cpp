// SPDX-License-Identifier: MIT
#include <dlfcn.h>

#include <cstdio>

#include "plugin_loader.h"

void* LoadEntryPoint(const char* path, const char* name) {
  void* plugin = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (plugin == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    return nullptr;
  }
  void* entry = dlsym(plugin, name);
  if (entry == nullptr) std::fprintf(stderr, "%s has no entry point %s\n", path, name);
  return entry;
}
