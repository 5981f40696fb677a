// SPDX-License-Identifier: MIT
#include <windows.h>

#include <cstdio>
#include <string>

#include "plugin_loader.h"

void* LoadEntryPoint(const char* path, const char* name) {
  // The path is ASCII here; a host with other paths keeps them as UTF-16.
  const std::wstring widePath(path, path + std::char_traits<char>::length(path));
  HMODULE plugin = LoadLibraryW(widePath.c_str());
  if (plugin == nullptr) {
    std::fprintf(stderr, "cannot load %s: error %lu\n", path, GetLastError());
    return nullptr;
  }
  void* entry = reinterpret_cast<void*>(GetProcAddress(plugin, name));
  if (entry == nullptr) std::fprintf(stderr, "%s has no entry point %s\n", path, name);
  return entry;
}
