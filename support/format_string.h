// Printf-style formatting into a new wide string, by the system's wide printf
// rules (platform/wide_printf.h).
#pragma once

#include <cstdarg>

#include "platform/wide.h"

// A new string with the formatted text; empty for a null format, an empty
// result or a formatting error.
WideString FormatString(const WideChar* format, ...);
WideString FormatStringV(const WideChar* format, va_list args);
