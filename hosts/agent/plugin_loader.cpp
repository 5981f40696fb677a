#include "hosts/agent/plugin_loader.h"

#include "hosts/agent/module_loader.h"

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  handle_ = module_loader::Open(path, error);
  if (handle_ == nullptr) return false;
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
    *s.slot = module_loader::Find(handle_, s.name);
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
  if (handle_ != nullptr) module_loader::Close(handle_);
  handle_ = nullptr;
  entry_ = PluginEntryPoints();
}

std::string DefaultPluginPath() {
  const std::string dir = module_loader::ExecutableFolder();
  for (const char* candidate : module_loader::kPluginCandidates) {
    const std::string path = dir + candidate;
    if (module_loader::Exists(path)) return path;
  }
  return dir + module_loader::kPluginCandidates[0];
}
