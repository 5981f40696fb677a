#include "platform/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/broken_pipe.h"
#include "platform/utf.h"

namespace platform {

void DebugOutput(const WideString& text) {
  const std::string bytes = Utf16ToUtf8(text.data(), text.size());
  const char* p = bytes.data();
  size_t left = bytes.size();
  // The host's standard error may be a pipe its reader has left.
  BrokenPipeGuard quiet;
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace platform
