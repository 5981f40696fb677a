#include "hosts/agent/plugin_loader.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/module_path.h"
#include "platform/standin/program.h"
#include "platform/standin/shared_library.h"
#include "text/utf.h"

namespace {

bool Readable(const std::string& path) {
  std::FILE* f = platform::OpenFile(unicode::Utf8ToUtf16(path.data(), path.size()), "rb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

}  // namespace

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  std::string why;
  library_ = platform::SharedLibrary(path, &why);
  if (!library_.is_loaded()) {
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
    *s.slot = library_.Symbol(s.name);
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
  library_.Unload();
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
