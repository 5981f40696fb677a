// The machine's fixed places on Windows: real drive paths.
#include "platform/machine_root.h"

#include <windows.h>

#include <cstdlib>

#include "platform/utf.h"

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
      const WideString wide = Utf8ToUtf16(partial.data(), partial.size());
      if (!::CreateDirectoryW(wide.c_str(), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
      }
    }
    if (pos == std::string::npos) break;
  }
  const WideString wide = Utf8ToUtf16(path.data(), path.size());
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
