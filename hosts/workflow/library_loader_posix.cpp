// Component libraries loaded with dlopen.
#include <dlfcn.h>

#include "hosts/workflow/library_loader.h"

void* OpenLibrary(const char* path) { return ::dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* LibrarySymbol(void* library, const char* name) { return ::dlsym(library, name); }

void CloseLibrary(void* library) { ::dlclose(library); }

std::string LibraryLoadError() {
  const char* why = ::dlerror();
  return why != nullptr ? why : "unknown error";
}
