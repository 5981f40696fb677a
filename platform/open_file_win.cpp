// fopen reads a narrow path in the ANSI code page, which cannot name every
// folder an agent may be installed in; _wfopen takes the path as it is.
#include "platform/open_file.h"

#include <fcntl.h>
#include <io.h>

namespace platform {

std::FILE* OpenFile(const WideString& path, const char* mode) {
  WideString wideMode;
  for (const char* c = mode; *c != '\0'; ++c) wideMode += static_cast<WideChar>(*c);
  return ::_wfopen(path.c_str(), wideMode.c_str());
}

int OpenToRead(const WideString& path) { return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY); }

}  // namespace platform
