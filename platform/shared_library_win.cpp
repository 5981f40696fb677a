// DLLs through LoadLibraryW, by their wide path.
#include <windows.h>

#include "platform/shared_library.h"
#include "platform/utf.h"

namespace platform {

void* LoadSharedLibrary(const std::string& path, std::string* error) {
  HMODULE library = ::LoadLibraryW(Utf8ToUtf16(path.data(), path.size()).c_str());
  if (library == nullptr) *error = "error " + std::to_string(::GetLastError());
  return library;
}

void* SharedLibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

bool UnloadSharedLibrary(void* library) { return ::FreeLibrary(static_cast<HMODULE>(library)) != 0; }

}  // namespace platform
