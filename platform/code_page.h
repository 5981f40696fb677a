// Text in one of the system's single-byte code pages (MultiByteToWideChar).
#pragma once

#include <cstddef>

#include "platform/wide.h"

namespace platform {

// windows-1252, the code page Windows editors save "ANSI" text in.
constexpr unsigned kCodePageWindows1252 = 1252;

// Appends the UTF-16 text of `size` bytes in `codePage` to `out`, one unit a
// byte; a byte the code page leaves undefined becomes U+FFFD. False, with
// `out` unchanged, when the system cannot convert that code page.
bool SingleByteToUtf16(unsigned codePage, const char* bytes, size_t size, WideString* out);

}  // namespace platform
