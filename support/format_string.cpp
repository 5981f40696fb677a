#include "support/format_string.h"

#include "text/wide_printf.h"

WideString FormatStringV(const WideChar* format, va_list args) {
  WideString result;
  if (format == nullptr) return result;
  if (!unicode::FormatWideV(result, format, args)) result.clear();
  return result;
}

WideString FormatString(const WideChar* format, ...) {
  va_list args;
  va_start(args, format);
  WideString result = FormatStringV(format, args);
  va_end(args);
  return result;
}
