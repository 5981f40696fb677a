// Component libraries loaded with LoadLibraryW.
#include <windows.h>

#include "hosts/workflow/library_loader.h"
#include "platform/utf.h"

void* OpenLibrary(const char* path) {
  const WideString wide = platform::Utf8ToUtf16(path, std::string(path).size());
  return ::LoadLibraryW(wide.c_str());
}

void* LibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

std::string LibraryLoadError() { return "error " + std::to_string(::GetLastError()); }
