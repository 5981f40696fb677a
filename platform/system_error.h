// Readable texts of system error codes (FormatMessageW FROM_SYSTEM).
#pragma once

#include <cstdint>

#include "platform/wide.h"

namespace platform {

// The system's message for the code, as it gives it; false when it has none.
bool SystemMessage(uint32_t code, WideString* text);

}  // namespace platform
