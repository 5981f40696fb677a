// The payload as the plug-in hands it to CallSetWchar (the C runtime's wide
// characters), back in the UTF-16 units that CallSet takes, for the stand-ins
// of the service call: code points above the BMP become surrogate pairs.
#pragma once

#include "platform/wide.h"

inline WideString Utf16Units(const wchar_t* text) {
  WideString units;
  for (size_t i = 0; text != nullptr && text[i] != 0; ++i) {
    const auto c = static_cast<char32_t>(text[i]);
    if (c >= 0x10000) {
      units += static_cast<WideChar>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<WideChar>(0xDC00 + (c & 0x3FF));
    } else {
      units += static_cast<WideChar>(c);
    }
  }
  return units;
}
