// DLLs through LoadLibraryW, by their wide path.
#include <windows.h>

#include "platform/standin/shared_library.h"
#include "text/utf.h"

namespace platform {

SharedLibrary::SharedLibrary(const std::string& path, std::string* error)
    : handle_(::LoadLibraryW(unicode::Utf8ToUtf16(path.data(), path.size()).c_str())) {
  if (handle_ == nullptr) *error = "error " + std::to_string(::GetLastError());
}

void* SharedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool SharedLibrary::Unload() {
  if (handle_ == nullptr) return true;
  void* const library = handle_;
  handle_ = nullptr;
  return ::FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

}  // namespace platform
