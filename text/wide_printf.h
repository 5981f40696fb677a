// The system's wide printf, with the Windows wide-format rules: "%s" and "%ls"
// take wide text, "%S" and "%hs" narrow (UTF-8) text, "%c" a wide character,
// "%C" a narrow one; "I64", "I32" and "I" as on Windows; integers, flags,
// width and precision as in C. A malformed or unsupported conversion is a
// formatting error. One portable implementation serves every system, so that
// the plug-in and the programs around it format alike everywhere.
#pragma once

#include <cstdarg>

#include "platform/wide.h"

namespace unicode {

// Appends the formatted text to `out`. False on a formatting error; `out` then
// holds what was formatted before it, and `failedAt`, when given, points at
// the '%' of the directive that failed.
bool FormatWideV(WideString& out, const WideChar* format, va_list args,
                 const WideChar** failedAt = nullptr);

}  // namespace unicode
