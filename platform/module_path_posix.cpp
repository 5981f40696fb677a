#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "text/utf.h"

namespace platform {

WideString ExecutablePath(size_t maxUnits) {
  std::vector<char> buf(PATH_MAX + 1, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0 || static_cast<size_t>(n) >= buf.size() - 1) return WideString();
  WideString path = unicode::Utf8ToUtf16(buf.data(), static_cast<size_t>(n));
  if (path.size() >= maxUnits) return WideString();
  return path;
}

WideString ModulePathOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return WideString();
  char* resolved = ::realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return unicode::Utf8ToUtf16(info.dli_fname, std::string(info.dli_fname).size());
  WideString path = unicode::Utf8ToUtf16(resolved, std::string(resolved).size());
  ::free(resolved);
  return path;
}

}  // namespace platform
