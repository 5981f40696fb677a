#include "platform/open_file.h"

#include <fcntl.h>

#include "platform/utf.h"

namespace platform {

// File names are bytes here; the system's are UTF-8.
std::FILE* OpenFile(const WideString& path, const char* mode) {
  return std::fopen(Utf16ToUtf8(path.data(), path.size()).c_str(), mode);
}

int OpenToRead(const WideString& path) {
  return ::open(Utf16ToUtf8(path.data(), path.size()).c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace platform
