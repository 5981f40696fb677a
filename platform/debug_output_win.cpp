// The debugger output channel: OutputDebugStringW.
#include "platform/debug_output.h"

#include <windows.h>

namespace platform {

void DebugOutput(const WideString& text) {
  ::OutputDebugStringW(text.c_str());
}

}  // namespace platform
