// ondraCore's wide printf: the formats of the host's exception messages.
#include "hosts/workflow/wide_format.h"

#include <cstdint>
#include <cstring>

#include "platform/utf.h"

namespace ondra {
namespace {

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  enum { kDefault, kShort, kChar, kLong, kLongLong, kSize, kMax, kPtrdiff, kWide } length = kDefault;
};

void Pad(WideString& out, std::size_t n, WideChar c) { out.append(n, c); }

void Emit(WideString& out, const Spec& spec, const WideString& prefix, const WideString& body,
          bool numeric) {
  const std::size_t len = prefix.size() + body.size();
  const std::size_t fill = spec.width > 0 && static_cast<std::size_t>(spec.width) > len
                               ? static_cast<std::size_t>(spec.width) - len
                               : 0;
  if (spec.left) {
    out += prefix;
    out += body;
    Pad(out, fill, u' ');
  } else if (spec.zero && numeric && spec.precision < 0) {
    out += prefix;
    Pad(out, fill, u'0');
    out += body;
  } else {
    Pad(out, fill, u' ');
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
  if (d.size() < minDigits) d.insert(0, minDigits - d.size(), u'0');
  return d;
}

std::intmax_t SignedArg(const Spec& spec, va_list& args) {
  switch (spec.length) {
    case Spec::kLong: return va_arg(args, long);
    case Spec::kLongLong: return va_arg(args, long long);
    case Spec::kSize: return static_cast<std::intmax_t>(va_arg(args, std::size_t));
    case Spec::kMax: return va_arg(args, std::intmax_t);
    case Spec::kPtrdiff: return va_arg(args, std::ptrdiff_t);
    case Spec::kShort: return static_cast<short>(va_arg(args, int));
    case Spec::kChar: return static_cast<signed char>(va_arg(args, int));
    default: return va_arg(args, int);
  }
}

std::uintmax_t UnsignedArg(const Spec& spec, va_list& args) {
  switch (spec.length) {
    case Spec::kLong: return va_arg(args, unsigned long);
    case Spec::kLongLong: return va_arg(args, unsigned long long);
    case Spec::kSize: return va_arg(args, std::size_t);
    case Spec::kMax: return va_arg(args, std::uintmax_t);
    case Spec::kPtrdiff: return static_cast<std::uintmax_t>(va_arg(args, std::ptrdiff_t));
    case Spec::kShort: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Spec::kChar: return static_cast<unsigned char>(va_arg(args, unsigned));
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
    if (*p != u'%') {
      out += *p++;
      continue;
    }
    const WideChar* start = p++;
    Spec spec;
    for (;; ++p) {
      if (*p == u'-') spec.left = true;
      else if (*p == u'+') spec.plus = true;
      else if (*p == u' ') spec.space = true;
      else if (*p == u'#') spec.alt = true;
      else if (*p == u'0') spec.zero = true;
      else break;
    }
    if (*p == u'*') {
      spec.width = va_arg(ap, int);
      if (spec.width < 0) {
        spec.left = true;
        spec.width = -spec.width;
      }
      ++p;
    } else {
      while (*p >= u'0' && *p <= u'9') spec.width = spec.width * 10 + (*p++ - u'0');
    }
    if (*p == u'.') {
      ++p;
      spec.precision = 0;
      if (*p == u'*') {
        spec.precision = va_arg(ap, int);
        ++p;
      } else {
        while (*p >= u'0' && *p <= u'9') spec.precision = spec.precision * 10 + (*p++ - u'0');
      }
    }
    switch (*p) {
      case u'h': ++p; spec.length = Spec::kShort; if (*p == u'h') { ++p; spec.length = Spec::kChar; } break;
      case u'l': ++p; spec.length = Spec::kLong; if (*p == u'l') { ++p; spec.length = Spec::kLongLong; } break;
      case u'w': ++p; spec.length = Spec::kWide; break;
      case u'z': ++p; spec.length = Spec::kSize; break;
      case u'j': ++p; spec.length = Spec::kMax; break;
      case u't': ++p; spec.length = Spec::kPtrdiff; break;
      case u'I':
        if (p[1] == u'6' && p[2] == u'4') { p += 3; spec.length = Spec::kLongLong; }
        else if (p[1] == u'3' && p[2] == u'2') { p += 3; }
        else { ++p; spec.length = Spec::kSize; }
        break;
      default: break;
    }
    const WideChar conv = *p;
    if (conv != 0) ++p;
    switch (conv) {
      case u'%':
        out += u'%';
        break;
      case u'd':
      case u'i': {
        const std::intmax_t v = SignedArg(spec, ap);
        const std::uintmax_t mag = v < 0 ? std::uintmax_t{0} - static_cast<std::uintmax_t>(v)
                                         : static_cast<std::uintmax_t>(v);
        WideString sign = v < 0 ? u"-" : spec.plus ? u"+" : spec.space ? u" " : u"";
        Emit(out, spec, sign, Digits(mag, 10, false, spec.precision), true);
        break;
      }
      case u'u':
      case u'o':
      case u'x':
      case u'X': {
        const std::uintmax_t v = UnsignedArg(spec, ap);
        const unsigned base = conv == u'u' ? 10 : conv == u'o' ? 8 : 16;
        WideString prefix;
        if (spec.alt && v != 0 && base == 16) prefix = conv == u'x' ? u"0x" : u"0X";
        if (spec.alt && base == 8) prefix = u"0";
        Emit(out, spec, prefix, Digits(v, base, conv == u'X', spec.precision), true);
        break;
      }
      case u'p': {
        const auto v = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
        Emit(out, spec, u"", Digits(v, 16, true, 2 * static_cast<int>(sizeof(void*))), false);
        break;
      }
      case u'c':
      case u'C': {
        const bool narrow = spec.length == Spec::kShort || (conv == u'C' && spec.length != Spec::kLong && spec.length != Spec::kWide);
        const int v = va_arg(ap, int);
        const WideChar c = narrow ? static_cast<WideChar>(static_cast<unsigned char>(v)) : static_cast<WideChar>(v);
        Emit(out, spec, u"", WideString(1, c), false);
        break;
      }
      case u's':
      case u'S': {
        const bool narrow = spec.length == Spec::kShort || (conv == u'S' && spec.length != Spec::kLong && spec.length != Spec::kWide);
        WideString text;
        if (narrow) {
          const char* s = va_arg(ap, const char*);
          if (s == nullptr) s = "(null)";
          text = platform::Utf8ToUtf16(s, std::strlen(s));
        } else {
          const WideChar* s = va_arg(ap, const WideChar*);
          if (s == nullptr) s = u"(null)";
          text.assign(s, WideLength(s));
        }
        Emit(out, spec, u"", Clip(text, spec.precision), false);
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
