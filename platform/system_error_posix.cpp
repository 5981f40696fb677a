#include "platform/system_error.h"

#include <string.h>

#include <string>

#include "platform/utf.h"

namespace platform {
namespace {

// strerror_r comes in two flavours; take whichever this C library has.
[[maybe_unused]] const char* Pick(int result, const char* buf) { return result == 0 ? buf : nullptr; }
[[maybe_unused]] const char* Pick(const char* result, const char*) { return result; }

}  // namespace

bool SystemMessage(uint32_t code, WideString* text) {
  if (code > 0x7fffffffu) return false;
  char buf[256] = {};
  const char* msg = Pick(::strerror_r(static_cast<int>(code), buf, sizeof buf), buf);
  if (msg == nullptr || *msg == '\0') return false;
  const std::string s(msg);
  if (s.rfind("Unknown error", 0) == 0) return false;
  // The system texts end in CR LF on Windows; callers cut at the CR.
  *text = Utf8ToUtf16(s.data(), s.size()) + WIDE("\r\n");
  return true;
}

}  // namespace platform
