#include "text/utf.h"

#include <cstdint>
#include <cstring>

namespace unicode {
namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr size_t kSliceUnits = 8 * 1024;

inline bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

inline bool AllAscii8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return (v & kHighBits) == 0;
}

constexpr uint32_t kIllFormed = 0xFFFFFFFF;

// Decodes the sequence whose lead byte (not ASCII) is at `i`: answers the
// index after it with the code point in `cp`; for an ill-formed sequence the
// index after its maximal subpart (a byte that cannot lead is one by itself)
// with kIllFormed.
inline size_t DecodeSequence(const unsigned char* in, size_t i, size_t bytes, uint32_t* cp) {
  const unsigned char b0 = in[i];
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    *cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    *cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    *cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    *cp = kIllFormed;
    return i + 1;
  }
  size_t j = i + 1;
  for (size_t k = 0; k < need; ++k, ++j) {
    if (j >= bytes || in[j] < lo || in[j] > hi) {
      *cp = kIllFormed;
      return j;
    }
    *cp = (*cp << 6) | (in[j] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return j;
}

}  // namespace

size_t Utf16ToUtf8(const WideChar* in, size_t units, char* out) {
  char* o = out;
  size_t i = 0;
  while (i < units) {
    // Runs of ASCII are the common case in XML text.
    while (i + 4 <= units && (in[i] | in[i + 1] | in[i + 2] | in[i + 3]) < 0x80) {
      o[0] = static_cast<char>(in[i]);
      o[1] = static_cast<char>(in[i + 1]);
      o[2] = static_cast<char>(in[i + 2]);
      o[3] = static_cast<char>(in[i + 3]);
      o += 4;
      i += 4;
    }
    if (i >= units) break;
    uint32_t c = in[i++];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i < units && in[i] >= 0xDC00 && in[i] <= 0xDFFF) {
        uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(in[i]) - 0xDC00);
        ++i;
        *o++ = static_cast<char>(0xF0 | (cp >> 18));
        *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        continue;
      }
      c = 0xFFFD;  // unpaired surrogate
    }
    *o++ = static_cast<char>(0xE0 | (c >> 12));
    *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return static_cast<size_t>(o - out);
}

namespace {

// UTF-8 into units of the output's width: UTF-16 (surrogate pairs above the
// BMP) or UTF-32 (each code point one unit); each ill-formed sequence is one
// U+FFFD either way, so that the UTF-32 text is the UTF-16 text with its
// pairs joined.
template <typename Unit>
size_t Utf8ToUnits(const char* text, size_t bytes, Unit* out) {
  static_assert(sizeof(Unit) == 2 || sizeof(Unit) == 4, "UTF-16 or UTF-32 units");
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  Unit* o = out;
  size_t i = 0;
  while (i < bytes) {
    // Runs of ASCII, nearly all of a template, 16 bytes at a time, then the
    // few before the next sequence one by one. The 16 are read into a block
    // of their own before any unit is written, so that the compiler may
    // widen them in vector registers (the units could otherwise overlap the
    // bytes).
    while (i + 16 <= bytes) {
      uint64_t block[2];
      std::memcpy(block, text + i, sizeof block);
      if (((block[0] | block[1]) & kHighBits) != 0) break;
      unsigned char ascii[16];
      std::memcpy(ascii, block, sizeof ascii);
      for (int k = 0; k < 16; ++k) o[k] = static_cast<Unit>(ascii[k]);
      o += 16;
      i += 16;
    }
    while (i < bytes && in[i] < 0x80) *o++ = static_cast<Unit>(in[i++]);
    if (i >= bytes) break;
    uint32_t cp;
    i = DecodeSequence(in, i, bytes, &cp);
    if (cp == kIllFormed) {
      *o++ = 0xFFFD;
      continue;
    }
    if (sizeof(Unit) == 2 && cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = static_cast<Unit>(0xD800 + (cp >> 10));
      *o++ = static_cast<Unit>(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = static_cast<Unit>(cp);
    }
  }
  return static_cast<size_t>(o - out);
}

}  // namespace

size_t Utf8ToUtf16(const char* text, size_t bytes, WideChar* out) {
  return Utf8ToUnits(text, bytes, out);
}

size_t Utf8ToWchar(const char* text, size_t bytes, wchar_t* out) {
  return Utf8ToUnits(text, bytes, out);
}

bool IsUtf8(const char* text, size_t bytes) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < bytes) {
    // ASCII 32 bytes at a time, then 8: templates are mostly markup.
    if (i + 32 <= bytes) {
      uint64_t v[4];
      std::memcpy(v, text + i, sizeof v);
      if (((v[0] | v[1] | v[2] | v[3]) & kHighBits) == 0) {
        i += 32;
        continue;
      }
    }
    while (i + 8 <= bytes && AllAscii8(text + i)) i += 8;
    while (i < bytes && in[i] < 0x80) ++i;
    if (i >= bytes) break;
    uint32_t cp;
    i = DecodeSequence(in, i, bytes, &cp);
    if (cp == kIllFormed) return false;
  }
  return true;
}

size_t Utf8Replacements(const char* text, size_t bytes, std::vector<size_t>* at, size_t limit) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  size_t count = 0, i = 0;
  while (i < bytes) {
    if (in[i] < 0x80) {
      ++i;
      continue;
    }
    const size_t start = i;
    uint32_t cp;
    i = DecodeSequence(in, i, bytes, &cp);
    if (cp != kIllFormed) continue;
    if (count < limit) at->push_back(start);
    ++count;
  }
  return count;
}

size_t Utf8Size(const WideChar* in, size_t units) {
  size_t bytes = 0, i = 0;
  while (i < units) {
    while (i + 4 <= units && (in[i] | in[i + 1] | in[i + 2] | in[i + 3]) < 0x80) {
      bytes += 4;
      i += 4;
    }
    if (i >= units) break;
    const uint32_t c = in[i++];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (c <= 0xDBFF && c >= 0xD800 && i < units && in[i] >= 0xDC00 && in[i] <= 0xDFFF) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

// The strings below are reserved once and filled slice by slice from a small
// buffer: a whole template is neither zeroed first nor reserved three times
// over.
std::string Utf16ToUtf8(const WideChar* text, size_t units) {
  std::string out;
  out.reserve(unicode::Utf8Size(text, units));
  char slice[3 * kSliceUnits];
  while (units > 0) {
    size_t n = units < kSliceUnits ? units : kSliceUnits;
    // A surrogate pair stays within one slice.
    if (n < units && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    out.append(slice, unicode::Utf16ToUtf8(text, n, slice));
    text += n;
    units -= n;
  }
  return out;
}

void AppendUtf8AsUtf16(const char* text, size_t bytes, WideString* out) {
  WideChar slice[kSliceUnits];
  while (bytes > 0) {
    size_t n = bytes < kSliceUnits ? bytes : kSliceUnits;
    // No sequence may straddle the cut: it goes before a byte that is not a
    // continuation byte, or after three of them, which no lead byte precedes
    // closely enough.
    if (n < bytes) {
      size_t cut = n;
      while (cut > n - 3 && IsContinuation(text[cut])) --cut;
      n = IsContinuation(text[cut]) ? n : cut;
    }
    out->append(slice, unicode::Utf8ToUtf16(text, n, slice));
    text += n;
    bytes -= n;
  }
}

WideString Utf8ToUtf16(const char* text, size_t bytes) {
  WideString out;
  out.reserve(bytes);
  unicode::AppendUtf8AsUtf16(text, bytes, &out);
  return out;
}

size_t Utf8SafeEnd(const char* text, size_t bytes) {
  // Before the last lead byte when it is one of the last three bytes: its
  // sequence may go on past them. A lead byte always starts a sequence, so
  // the text before it converts alike whatever follows.
  for (size_t back = 1; back <= 3 && back <= bytes; ++back) {
    const unsigned char c = static_cast<unsigned char>(text[bytes - back]);
    if (c >= 0xC0) return bytes - back;
    if (c < 0x80) break;
  }
  return bytes;
}

}  // namespace unicode
