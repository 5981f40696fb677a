// System error texts from FormatMessageW.
#include "platform/system_error.h"

#include <windows.h>

namespace platform {

bool SystemMessage(uint32_t code, WideString* text) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || buffer == nullptr) return false;
  text->assign(buffer, n);
  ::LocalFree(buffer);
  return true;
}

}  // namespace platform
