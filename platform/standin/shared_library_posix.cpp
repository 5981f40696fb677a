// Shared libraries through dlopen.
#include <dlfcn.h>

#include "platform/standin/shared_library.h"

namespace platform {

SharedLibrary::SharedLibrary(const std::string& path, std::string* error)
    : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    *error = why != nullptr ? why : "unknown error";
  }
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

bool SharedLibrary::Unload() {
  if (handle_ == nullptr) return true;
  void* const library = handle_;
  handle_ = nullptr;
  return ::dlclose(library) == 0;
}

}  // namespace platform
