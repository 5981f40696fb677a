// Printf-style formatting of wide text with the Windows wide-format rules.
#pragma once

#include <cstdarg>

#include "platform/wide.h"

namespace ondra {

// Appends to `out`. "%s", "%ls", "%ws" take wide text, "%S", "%hs" narrow
// UTF-8 text; "%c" a wide character, "%C"/"%hc" a narrow one; integers with
// flags, width, precision and the C library's length modifiers (plus "I64"
// and "I" as on Windows). From a malformed conversion on, the format is
// copied as it stands.
void AppendFormatV(WideString& out, const WideChar* format, va_list args);

}  // namespace ondra
