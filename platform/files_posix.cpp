#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "text/utf.h"

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

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    const int error = systemCalls.makeFolder(partial.c_str(), 0755);
    if (error != 0 && error != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// File names are bytes here; the system's are UTF-8.
std::FILE* OpenFile(const WideString& path, const char* mode) {
  return std::fopen(unicode::Utf16ToUtf8(path.data(), path.size()).c_str(), mode);
}

bool ReadFileBytes(const WideString& path, std::string* bytes, size_t limit) {
  const int fd = ::open(unicode::Utf16ToUtf8(path.data(), path.size()).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1 << 16];
  ssize_t n;
  while (bytes->size() <= limit && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      errno = error;
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

}  // namespace platform
