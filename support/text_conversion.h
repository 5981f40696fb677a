// UTF-16 <-> UTF-8 for text handed to and taken from libxml2 and gSOAP. Both
// stop at the first NUL; ill-formed input becomes U+FFFD.
#pragma once

#include <string>

#include "platform/wide.h"

std::string ToUtf8(const WideString& text);
std::string ToUtf8(const WideChar* text);
WideString FromUtf8(const std::string& text);
WideString FromUtf8(const char* text);
// At most `bytes` bytes, stopping at a NUL before them.
WideString FromUtf8(const char* text, size_t bytes);
