// Wide text of the system: UTF-16, as on Windows. On Windows the platform's
// own wide type is 16 bits and is used as it is; elsewhere wchar_t is 32 bits,
// so char16_t stands in.
#pragma once

#include <string>

namespace platform {

#ifdef _WIN32
using WideChar = wchar_t;
using WideString = std::wstring;
#else
using WideChar = char16_t;
using WideString = std::u16string;
#endif

}  // namespace platform

// The system's code names its wide string type without the namespace.
using WideChar = platform::WideChar;
using WideString = platform::WideString;

// A wide string or character literal of the platform's wide type.
#ifdef _WIN32
#define WIDE(literal) L##literal
#else
#define WIDE(literal) u##literal
#endif
