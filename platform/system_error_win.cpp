// System error texts from FormatMessageW.
#include "platform/system_error.h"

#include <windows.h>

namespace platform {

bool SystemMessage(uint32_t code, WideString* text) {
  wchar_t* buffer = nullptr;
  // FORMAT_MESSAGE_IGNORE_INSERTS beyond the two flags: a system text with
  // inserts ("%1") would otherwise be filled from arguments that do not exist.
  // Language 0 keeps Windows' own choice and fallback of the language.
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || buffer == nullptr) return false;
  text->assign(buffer, n);
  ::LocalFree(buffer);
  return true;
}

}  // namespace platform
