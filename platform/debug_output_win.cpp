// The debugger output channel: OutputDebugStringW.
#include "platform/debug_output.h"

#include <windows.h>

namespace platform {

void DebugOutput(const WideString& text) {
  // char16_t and wchar_t are both UTF-16 code units on Windows.
  ::OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
}

}  // namespace platform
