#include "platform/machine_root.h"

#include <cctype>
#include <cstdlib>

namespace platform {

std::string MachineRoot() {
  const char* root = std::getenv("QUORVIL_ROOT");
  std::string result = (root != nullptr && *root != '\0') ? root : "/var/lib/quorvil";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string NativePath(const std::string& windowsPath) {
  std::string rest = windowsPath;
  std::string prefix;
  if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
    prefix = MachineRoot() + "/drive_" +
             static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
    rest.erase(0, 2);
    if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) rest.insert(0, "/");
  }
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return prefix + rest;
}

std::string DisplayPath(const std::string& nativePath) { return nativePath; }

}  // namespace platform

#include <sys/stat.h>

#include <cerrno>

namespace platform {

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
