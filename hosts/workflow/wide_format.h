// Printf-style formatting of wide text with the Windows wide-format rules.
#pragma once

#include <cstdarg>

#include "platform/wide.h"

namespace ondra {

// Appends to `out` by the Windows wide-format rules (the system's wide
// printf, platform/wide_printf.h: "%s", "%ls", "%ws" wide, "%S", "%hs" narrow
// UTF-8, "I64" and "I" as on Windows). From a malformed conversion on, the
// format is copied as it stands.
void AppendFormatV(WideString& out, const WideChar* format, va_list args);

}  // namespace ondra
