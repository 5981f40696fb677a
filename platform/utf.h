// UTF-8 <-> UTF-16 conversion with the platform converter's non-strict rules:
// each ill-formed UTF-8 sequence (maximal subpart) and each unpaired surrogate
// becomes U+FFFD; nothing else is dropped or altered. NUL units convert like
// any other; callers that stop at a NUL do so themselves.
#pragma once

#include <cstddef>
#include <string>

#include "platform/wide.h"

namespace platform {

std::string Utf16ToUtf8(const WideChar* text, size_t units);
WideString Utf8ToUtf16(const char* text, size_t bytes);

// Into caller-provided storage: `out` must hold 3 * units bytes (UTF-8) or
// `bytes` units (UTF-16). Answers the count written.
size_t Utf16ToUtf8(const WideChar* text, size_t units, char* out);
size_t Utf8ToUtf16(const char* text, size_t bytes, WideChar* out);

// The bytes Utf16ToUtf8 writes for the same units.
size_t Utf8Size(const WideChar* text, size_t units);

}  // namespace platform
