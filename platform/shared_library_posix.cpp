// Shared libraries through dlopen.
#include "platform/shared_library.h"

#include <dlfcn.h>

namespace platform {

void* LoadSharedLibrary(const std::string& path, std::string* error) {
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = ::dlerror();
    *error = why != nullptr ? why : "unknown error";
  }
  return library;
}

void* SharedLibrarySymbol(void* library, const char* name) { return ::dlsym(library, name); }

bool UnloadSharedLibrary(void* library) { return ::dlclose(library) == 0; }

}  // namespace platform
