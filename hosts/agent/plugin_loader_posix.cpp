// Shared libraries through dlopen.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <vector>

#include "hosts/agent/module_loader.h"

namespace module_loader {

const char* const kPluginCandidates[2] = {"/libQuorvil.so", "/../../plugin/libQuorvil.so"};

void* Open(const std::string& path, std::string* error) {
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = ::dlerror();
    *error = "cannot load plug-in " + path + ": " + (why != nullptr ? why : "unknown error");
  }
  return module;
}

void* Find(void* module, const char* name) { return ::dlsym(module, name); }

void Close(void* module) { ::dlclose(module); }

std::string ExecutableFolder() {
  std::vector<char> buf(PATH_MAX + 1, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  const std::string exe = n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

bool Exists(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

}  // namespace module_loader
