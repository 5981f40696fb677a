#include "support/text_conversion.h"

#include <cstring>

#include "text/utf.h"

namespace {

size_t UnitsToNul(const WideChar* text, size_t max) {
  size_t n = 0;
  while (n < max && text[n] != 0) ++n;
  return n;
}

}  // namespace

std::string ToUtf8(const WideString& text) {
  return unicode::Utf16ToUtf8(text.data(), UnitsToNul(text.data(), text.size()));
}

std::string ToUtf8(const WideChar* text) {
  if (text == nullptr) return std::string();
  return unicode::Utf16ToUtf8(text, UnitsToNul(text, static_cast<size_t>(-1)));
}

WideString FromUtf8(const std::string& text) {
  return FromUtf8(text.data(), text.size());
}

WideString FromUtf8(const char* text) {
  if (text == nullptr) return WideString();
  return unicode::Utf8ToUtf16(text, std::strlen(text));
}

WideString FromUtf8(const char* text, size_t bytes) {
  if (text == nullptr) return WideString();
  const void* nul = std::memchr(text, 0, bytes);
  if (nul != nullptr) bytes = static_cast<size_t>(static_cast<const char*>(nul) - text);
  return unicode::Utf8ToUtf16(text, bytes);
}
