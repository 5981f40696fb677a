// ondraCore's wide printf: the formats of the host's exception messages.
#include "hosts/workflow/wide_format.h"

#include "text/wide_printf.h"

namespace ondra {

void AppendFormatV(WideString& out, const WideChar* format, va_list args) {
  const WideChar* failedAt = nullptr;
  // Past a conversion this host does not know the arguments can no longer be
  // matched, so the rest is kept as written.
  if (!unicode::FormatWideV(out, format, args, &failedAt) && failedAt != nullptr) out.append(failedAt);
}

}  // namespace ondra
