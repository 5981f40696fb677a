// Plug-in DLLs through LoadLibraryW.
#include <windows.h>

#include <vector>

#include "hosts/agent/module_loader.h"
#include "platform/utf.h"

namespace module_loader {
namespace {

std::wstring Wide(const std::string& text) {
  return platform::Utf8ToUtf16(text.data(), text.size());
}

}  // namespace

const char* const kPluginCandidates[2] = {"\\Quorvil.dll", "\\..\\..\\plugin\\Quorvil.dll"};

void* Open(const std::string& path, std::string* error) {
  HMODULE module = ::LoadLibraryW(Wide(path).c_str());
  if (module == nullptr) {
    *error = "cannot load plug-in " + path + ": error " + std::to_string(::GetLastError());
  }
  return module;
}

void* Find(void* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void Close(void* module) { ::FreeLibrary(static_cast<HMODULE>(module)); }

std::string ExecutableFolder() {
  std::vector<wchar_t> buf(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  const std::string exe =
      n > 0 && n < buf.size()
          ? platform::Utf16ToUtf8(buf.data(), n)
          : std::string();
  const size_t slash = exe.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace module_loader
