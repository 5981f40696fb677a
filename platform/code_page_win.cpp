// Single-byte code pages through MultiByteToWideChar.
#include "platform/code_page.h"

#include <windows.h>

#include <climits>

namespace platform {

bool SingleByteToUtf16(unsigned codePage, const char* bytes, size_t size, WideString* out) {
  CPINFO info;
  if (!::GetCPInfo(codePage, &info) || info.MaxCharSize != 1) return false;
  const size_t start = out->size();
  out->resize(start + size);
  // The converter maps the bytes a code page leaves undefined to the C1
  // controls of the same value; in a code page that defines its bytes
  // 0x80-0x9F as other characters, a C1 control out of it is such a byte.
  const bool c1Defined = codePage != kCodePageWindows1252;
  size_t done = 0;
  while (done < size) {
    const int n = size - done > INT_MAX ? INT_MAX : static_cast<int>(size - done);
    if (::MultiByteToWideChar(codePage, 0, bytes + done, n, &(*out)[start + done], n) != n) {
      out->resize(start);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (!c1Defined) {
    for (size_t i = start; i < out->size(); ++i) {
      if ((*out)[i] >= 0x80 && (*out)[i] <= 0x9F) (*out)[i] = 0xFFFD;
    }
  }
  return true;
}

}  // namespace platform
