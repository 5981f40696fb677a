// Loading a shared library into the running process as a host does, and
// finding its symbols.
#pragma once

#include <string>

namespace platform {

// The library at the UTF-8 `path`, its symbols bound at once and kept out of
// the global namespace (dlopen RTLD_NOW | RTLD_LOCAL, or LoadLibraryW); null
// with the system's reason in `error`.
void* LoadSharedLibrary(const std::string& path, std::string* error);
// Null when the library has no such symbol.
void* SharedLibrarySymbol(void* library, const char* name);
// False when the system refuses to unload it.
bool UnloadSharedLibrary(void* library);

}  // namespace platform
