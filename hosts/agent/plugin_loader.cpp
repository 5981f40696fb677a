#include "hosts/agent/plugin_loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <vector>

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    *error = "cannot load plug-in " + path + ": " + (why != nullptr ? why : "unknown error");
    return false;
  }
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
    *s.slot = ::dlsym(handle_, s.name);
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
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
  entry_ = PluginEntryPoints();
}

std::string DefaultPluginPath() {
  std::vector<char> buf(PATH_MAX + 1, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  std::string exe = n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
  const size_t slash = exe.rfind('/');
  std::string dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  // The executable lives in hosts/agent/ of the build tree, the plug-in in plugin/.
  for (const char* candidate : {"/libQuorvil.so", "/../../plugin/libQuorvil.so"}) {
    const std::string path = dir + candidate;
    if (::access(path.c_str(), R_OK) == 0) return path;
  }
  return dir + "/libQuorvil.so";
}
