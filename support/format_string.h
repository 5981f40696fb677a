// Printf-style formatting of wide text with the Windows wide-format rules:
// "%s" and "%ls" take wide text, "%S" and "%hs" narrow (UTF-8) text, "%c" a
// wide character, "%C" a narrow one; integers, flags, width and precision as
// in C. A malformed or unsupported conversion is a formatting error.
#pragma once

#include <cstdarg>

#include "platform/wide.h"

// False on a formatting error; `out` then holds what was formatted before it,
// and `failedAt`, when given, points at the '%' of the directive that failed.
bool FormatWideV(WideString& out, const WideChar* format, va_list args,
                 const WideChar** failedAt = nullptr);

// A new string with the formatted text; empty for a null format, an empty
// result or a formatting error.
WideString FormatString(const WideChar* format, ...);
WideString FormatStringV(const WideChar* format, va_list args);
