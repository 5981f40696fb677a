// The machine's fixed places on Windows: real drive paths.
#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "text/utf.h"

namespace platform {

// Nothing of the system lives here on Windows, whose places are the real ones;
// tools may keep their own files there. With QUORVIL_ROOT unset there is none.
std::string MachineRoot() {
  const char* root = std::getenv("QUORVIL_ROOT");
  std::string result = root != nullptr ? root : "";
  while (result.size() > 1 && (result.back() == '/' || result.back() == '\\')) result.pop_back();
  return result;
}

// Windows paths are the real ones. Backslashes become slashes, which Windows
// reads alike, so that callers can cut a path at its last '/'.
std::string NativePath(const std::string& windowsPath) {
  std::string path = windowsPath;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string DisplayPath(const std::string& nativePath) {
  std::string path = nativePath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  const std::string path = NativePath(dir);
  size_t pos = 0;
  for (;;) {
    pos = path.find('/', pos + 1);
    const std::string partial = path.substr(0, pos);
    // Drive roots ("C:") and the empty head of "//server" exist or fail below.
    if (!partial.empty() && partial.back() != ':') {
      const int error = systemCalls.makeFolder(partial.c_str(), 0);
      if (error != 0 && error != ERROR_ALREADY_EXISTS) return false;
    }
    if (pos == std::string::npos) break;
  }
  const WideString wide = unicode::Utf8ToUtf16(path.data(), path.size());
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// fopen reads a narrow path in the ANSI code page, which cannot name every
// folder an agent may be installed in; _wfopen takes the path as it is.
std::FILE* OpenFile(const WideString& path, const char* mode) {
  WideString wideMode;
  for (const char* c = mode; *c != '\0'; ++c) wideMode += static_cast<WideChar>(*c);
  return ::_wfopen(path.c_str(), wideMode.c_str());
}

bool ReadFileBytes(const WideString& path, std::string* bytes, size_t limit) {
  const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  char buffer[1 << 16];
  int n;
  while (bytes->size() <= limit && (n = ::_read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0) {
      const int error = errno;
      ::_close(fd);
      errno = error;
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(n));
  }
  ::_close(fd);
  return true;
}

}  // namespace platform
