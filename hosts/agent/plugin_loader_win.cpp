// Loads a Quorvil plug-in DLL with LoadLibraryW and resolves its entry points.
#include <windows.h>

#include <vector>

#include "hosts/agent/plugin_loader.h"
#include "platform/utf.h"

namespace {

std::wstring Wide(const std::string& text) {
  const WideString w = platform::Utf8ToUtf16(text.data(), text.size());
  return std::wstring(reinterpret_cast<const wchar_t*>(w.data()), w.size());
}

}  // namespace

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  HMODULE module = ::LoadLibraryW(Wide(path).c_str());
  if (module == nullptr) {
    *error = "cannot load plug-in " + path + ": error " + std::to_string(::GetLastError());
    return false;
  }
  handle_ = module;
  struct Symbol {
    const char* name;
    void** slot;
  };
  PluginEntryPoints e;
  const Symbol symbols[] = {
      {"InitModule", reinterpret_cast<void**>(&e.InitModule)},
      {"UninitModule", reinterpret_cast<void**>(&e.UninitModule)},
      {"GetInfo", reinterpret_cast<void**>(&e.GetInfo)},
      {"RunTimeRoutine", reinterpret_cast<void**>(&e.RunTimeRoutine)},
      {"GetPluginVersion", reinterpret_cast<void**>(&e.GetPluginVersion)},
      {"SetDbg", reinterpret_cast<void**>(&e.SetDbg)},
      {"PostCommand", reinterpret_cast<void**>(&e.PostCommand)},
  };
  for (const Symbol& s : symbols) {
    *s.slot = reinterpret_cast<void*>(::GetProcAddress(module, s.name));
    if (*s.slot == nullptr) {
      *error = "plug-in " + path + " does not export " + s.name;
      Unload();
      return false;
    }
  }
  entry_ = e;
  return true;
}

void PluginLibrary::Unload() {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  entry_ = PluginEntryPoints();
}

std::string DefaultPluginPath() {
  std::vector<wchar_t> buf(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  const std::string exe =
      n > 0 && n < buf.size()
          ? platform::Utf16ToUtf8(reinterpret_cast<const WideChar*>(buf.data()), n)
          : std::string();
  const size_t slash = exe.find_last_of("\\/");
  const std::string dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  // The executable lives in hosts\agent\ of the build tree, the plug-in in plugin\.
  for (const char* candidate : {"\\Quorvil.dll", "\\..\\..\\plugin\\Quorvil.dll"}) {
    const std::string path = dir + candidate;
    if (::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return path;
  }
  return dir + "\\Quorvil.dll";
}
