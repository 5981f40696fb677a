// ondraCore's wide printf: the formats of the host's exception messages.
#include "hosts/workflow/wide_format.h"

#include <cstdint>
#include <cstring>

#include "platform/utf.h"

namespace ondra {
namespace {

struct Conversion {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  enum { kDefault, kShort, kChar, kLong, kLongLong, kSize, kMax, kPtrdiff, kWide } length = kDefault;
};

void Pad(WideString& out, std::size_t n, WideChar c) { out.append(n, c); }

void Emit(WideString& out, const Conversion& c, const WideString& prefix, const WideString& body,
          bool numeric) {
  const std::size_t len = prefix.size() + body.size();
  const std::size_t fill = c.width > 0 && static_cast<std::size_t>(c.width) > len
                               ? static_cast<std::size_t>(c.width) - len
                               : 0;
  if (c.left) {
    out += prefix;
    out += body;
    Pad(out, fill, WIDE(' '));
  } else if (c.zero && numeric && c.precision < 0) {
    out += prefix;
    Pad(out, fill, WIDE('0'));
    out += body;
  } else {
    Pad(out, fill, WIDE(' '));
    out += prefix;
    out += body;
  }
}

WideString Digits(std::uintmax_t value, unsigned base, bool upper, int precision) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  WideString d;
  while (value != 0) {
    d.insert(d.begin(), static_cast<WideChar>(set[value % base]));
    value /= base;
  }
  const std::size_t minDigits = precision < 0 ? 1 : static_cast<std::size_t>(precision);
  if (d.size() < minDigits) d.insert(0, minDigits - d.size(), WIDE('0'));
  return d;
}

std::intmax_t SignedArg(const Conversion& c, va_list& args) {
  switch (c.length) {
    case Conversion::kLong: return va_arg(args, long);
    case Conversion::kLongLong: return va_arg(args, long long);
    case Conversion::kSize: return static_cast<std::intmax_t>(va_arg(args, std::size_t));
    case Conversion::kMax: return va_arg(args, std::intmax_t);
    case Conversion::kPtrdiff: return va_arg(args, std::ptrdiff_t);
    case Conversion::kShort: return static_cast<short>(va_arg(args, int));
    case Conversion::kChar: return static_cast<signed char>(va_arg(args, int));
    default: return va_arg(args, int);
  }
}

std::uintmax_t UnsignedArg(const Conversion& c, va_list& args) {
  switch (c.length) {
    case Conversion::kLong: return va_arg(args, unsigned long);
    case Conversion::kLongLong: return va_arg(args, unsigned long long);
    case Conversion::kSize: return va_arg(args, std::size_t);
    case Conversion::kMax: return va_arg(args, std::uintmax_t);
    case Conversion::kPtrdiff: return static_cast<std::uintmax_t>(va_arg(args, std::ptrdiff_t));
    case Conversion::kShort: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Conversion::kChar: return static_cast<unsigned char>(va_arg(args, unsigned));
    default: return va_arg(args, unsigned);
  }
}

WideString Clip(WideString text, int precision) {
  if (precision >= 0 && text.size() > static_cast<std::size_t>(precision)) text.resize(static_cast<std::size_t>(precision));
  return text;
}

std::size_t WideLength(const WideChar* s) {
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

void AppendFormatV(WideString& out, const WideChar* format, va_list args) {
  if (format == nullptr) return;
  va_list ap;
  va_copy(ap, args);
  const WideChar* p = format;
  while (*p != 0) {
    if (*p != WIDE('%')) {
      out += *p++;
      continue;
    }
    const WideChar* start = p++;
    Conversion c;
    for (;; ++p) {
      if (*p == WIDE('-')) c.left = true;
      else if (*p == WIDE('+')) c.plus = true;
      else if (*p == WIDE(' ')) c.space = true;
      else if (*p == WIDE('#')) c.alt = true;
      else if (*p == WIDE('0')) c.zero = true;
      else break;
    }
    if (*p == WIDE('*')) {
      c.width = va_arg(ap, int);
      if (c.width < 0) {
        c.left = true;
        c.width = -c.width;
      }
      ++p;
    } else {
      while (*p >= WIDE('0') && *p <= WIDE('9')) c.width = c.width * 10 + (*p++ - WIDE('0'));
    }
    if (*p == WIDE('.')) {
      ++p;
      c.precision = 0;
      if (*p == WIDE('*')) {
        c.precision = va_arg(ap, int);
        ++p;
      } else {
        while (*p >= WIDE('0') && *p <= WIDE('9')) c.precision = c.precision * 10 + (*p++ - WIDE('0'));
      }
    }
    switch (*p) {
      case WIDE('h'): ++p; c.length = Conversion::kShort; if (*p == WIDE('h')) { ++p; c.length = Conversion::kChar; } break;
      case WIDE('l'): ++p; c.length = Conversion::kLong; if (*p == WIDE('l')) { ++p; c.length = Conversion::kLongLong; } break;
      case WIDE('w'): ++p; c.length = Conversion::kWide; break;
      case WIDE('z'): ++p; c.length = Conversion::kSize; break;
      case WIDE('j'): ++p; c.length = Conversion::kMax; break;
      case WIDE('t'): ++p; c.length = Conversion::kPtrdiff; break;
      case WIDE('I'):
        if (p[1] == WIDE('6') && p[2] == WIDE('4')) { p += 3; c.length = Conversion::kLongLong; }
        else if (p[1] == WIDE('3') && p[2] == WIDE('2')) { p += 3; }
        else { ++p; c.length = Conversion::kSize; }
        break;
      default: break;
    }
    const WideChar conv = *p;
    if (conv != 0) ++p;
    switch (conv) {
      case WIDE('%'):
        out += WIDE('%');
        break;
      case WIDE('d'):
      case WIDE('i'): {
        const std::intmax_t v = SignedArg(c, ap);
        const std::uintmax_t mag = v < 0 ? std::uintmax_t{0} - static_cast<std::uintmax_t>(v)
                                         : static_cast<std::uintmax_t>(v);
        WideString sign = v < 0 ? WIDE("-") : c.plus ? WIDE("+") : c.space ? WIDE(" ") : WIDE("");
        Emit(out, c, sign, Digits(mag, 10, false, c.precision), true);
        break;
      }
      case WIDE('u'):
      case WIDE('o'):
      case WIDE('x'):
      case WIDE('X'): {
        const std::uintmax_t v = UnsignedArg(c, ap);
        const unsigned base = conv == WIDE('u') ? 10 : conv == WIDE('o') ? 8 : 16;
        WideString prefix;
        if (c.alt && v != 0 && base == 16) prefix = conv == WIDE('x') ? WIDE("0x") : WIDE("0X");
        if (c.alt && base == 8) prefix = WIDE("0");
        Emit(out, c, prefix, Digits(v, base, conv == WIDE('X'), c.precision), true);
        break;
      }
      case WIDE('p'): {
        const auto v = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
        Emit(out, c, WIDE(""), Digits(v, 16, true, 2 * static_cast<int>(sizeof(void*))), false);
        break;
      }
      case WIDE('c'):
      case WIDE('C'): {
        const bool narrow = c.length == Conversion::kShort || (conv == WIDE('C') && c.length != Conversion::kLong && c.length != Conversion::kWide);
        const int v = va_arg(ap, int);
        const WideChar ch = narrow ? static_cast<WideChar>(static_cast<unsigned char>(v)) : static_cast<WideChar>(v);
        Emit(out, c, WIDE(""), WideString(1, ch), false);
        break;
      }
      case WIDE('s'):
      case WIDE('S'): {
        const bool narrow = c.length == Conversion::kShort || (conv == WIDE('S') && c.length != Conversion::kLong && c.length != Conversion::kWide);
        WideString text;
        if (narrow) {
          const char* s = va_arg(ap, const char*);
          if (s == nullptr) s = "(null)";
          text = platform::Utf8ToUtf16(s, std::strlen(s));
        } else {
          const WideChar* s = va_arg(ap, const WideChar*);
          if (s == nullptr) s = WIDE("(null)");
          text.assign(s, WideLength(s));
        }
        Emit(out, c, WIDE(""), Clip(text, c.precision), false);
        break;
      }
      default:
        // Not a conversion this host knows; the arguments can no longer be
        // matched, so the rest is kept as written.
        out.append(start);
        va_end(ap);
        return;
    }
  }
  va_end(ap);
}

}  // namespace ondra
