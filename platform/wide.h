// Wide text of the system: UTF-16, as on Windows.
#pragma once

#include <string>

namespace platform {

using WideChar = char16_t;
using WideString = std::u16string;

}  // namespace platform

// The system's code names its wide string type without the namespace.
using WideChar = platform::WideChar;
using WideString = platform::WideString;
