// UTF-8 <-> UTF-16 conversion with the platform converter's non-strict rules:
// each ill-formed UTF-8 sequence (maximal subpart) and each unpaired surrogate
// becomes U+FFFD; nothing else is dropped or altered. NUL units convert like
// any other; callers that stop at a NUL do so themselves.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/wide.h"

namespace unicode {

std::string Utf16ToUtf8(const WideChar* text, size_t units);
WideString Utf8ToUtf16(const char* text, size_t bytes);

// Into caller-provided storage: `out` must hold 3 * units bytes (UTF-8) or
// `bytes` units (UTF-16). Answers the count written.
size_t Utf16ToUtf8(const WideChar* text, size_t units, char* out);
size_t Utf8ToUtf16(const char* text, size_t bytes, WideChar* out);
// The same in the C runtime's wide characters: UTF-16 where wchar_t has 16
// bits (as WideChar on Windows), UTF-32 where it has 32, each code point one
// unit and each ill-formed sequence one U+FFFD: the UTF-16 text with its
// surrogate pairs joined. `out` must hold `bytes` units.
size_t Utf8ToWchar(const char* text, size_t bytes, wchar_t* out);

// The bytes Utf16ToUtf8 writes for the same units.
size_t Utf8Size(const WideChar* text, size_t units);

// Utf8ToUtf16 appending to `out`.
void AppendUtf8AsUtf16(const char* text, size_t bytes, WideString* out);

// Where UTF-8 text that more bytes may follow can be cut so that no sequence
// is split: converting the part before and the rest after gives what
// converting the whole would.
size_t Utf8SafeEnd(const char* text, size_t bytes);

// True when the bytes are well-formed UTF-8 (a NUL byte included), so that
// Utf8ToUtf16 replaces nothing in them.
bool IsUtf8(const char* text, size_t bytes);

// Where Utf8ToUtf16 puts U+FFFD: the byte offset of each ill-formed
// sequence, the first `limit` of them appended to `at`. Answers how many
// there are in all.
size_t Utf8Replacements(const char* text, size_t bytes, std::vector<size_t>* at, size_t limit);

}  // namespace unicode
