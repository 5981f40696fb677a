// The debugger output channel (OutputDebugStringW).
#pragma once

#include "platform/wide.h"

namespace platform {

// Writes the text as it is, UTF-8 encoded, to the process's standard error.
void DebugOutput(const WideString& text);

}  // namespace platform
