#include "hosts/agent/plugin_loader.h"

#include <cstdio>

#include "platform/module_path.h"
#include "platform/open_file.h"
#include "platform/program.h"
#include "platform/shared_library.h"
#include "platform/utf.h"

namespace {

bool Readable(const std::string& path) {
  std::FILE* f = platform::OpenFile(platform::Utf8ToUtf16(path.data(), path.size()), "rb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

}  // namespace

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  std::string why;
  handle_ = platform::LoadSharedLibrary(path, &why);
  if (handle_ == nullptr) {
    *error = "cannot load plug-in " + path + ": " + why;
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
    *s.slot = platform::SharedLibrarySymbol(handle_, s.name);
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
  if (handle_ != nullptr) platform::UnloadSharedLibrary(handle_);
  handle_ = nullptr;
  entry_ = PluginEntryPoints();
}

std::string DefaultPluginPath() {
  // Beside the program first, then in plugin/ of the build tree.
  const std::string separator(1, static_cast<char>(platform::kPathSeparator));
  const std::string beside = platform::ProgramFolder() + separator + QUORVIL_PLUGIN_FILE;
  const std::string built = platform::ProgramFolder() + separator + ".." + separator + ".." +
                            separator + "plugin" + separator + QUORVIL_PLUGIN_FILE;
  return Readable(beside) || !Readable(built) ? beside : built;
}
