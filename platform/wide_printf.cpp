#include "platform/wide_printf.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/utf.h"

namespace platform {
namespace {

struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = -1;
  int precision = -1;
  enum Length { kDefault, kShort, kChar, kLong, kLongLong, kSize } length = kDefault;
};

void Pad(WideString& out, size_t count, WideChar c) { out.append(count, c); }

void EmitField(WideString& out, const Directive& directive, const WideChar* text, size_t len) {
  const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  if (!directive.left && width > len) Pad(out, width - len, WIDE(' '));
  out.append(text, len);
  if (directive.left && width > len) Pad(out, width - len, WIDE(' '));
}

void EmitInteger(WideString& out, const Directive& directive, uint64_t magnitude, bool negative,
                 unsigned base, bool upper, bool isSigned) {
  char digits[72];
  size_t n = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  if (!(magnitude == 0 && directive.precision == 0)) {
    do {
      digits[n++] = set[magnitude % base];
      magnitude /= base;
    } while (magnitude != 0);
  }
  size_t precisionZeros = 0;
  if (directive.precision >= 0 && static_cast<size_t>(directive.precision) > n) {
    precisionZeros = static_cast<size_t>(directive.precision) - n;
  }
  WideString prefix;
  if (isSigned) {
    if (negative) {
      prefix = WIDE("-");
    } else if (directive.plus) {
      prefix = WIDE("+");
    } else if (directive.space) {
      prefix = WIDE(" ");
    }
  }
  if (directive.alt && n > 0 && digits[n - 1] != '0') {
    if (base == 16) prefix += upper ? WIDE("0X") : WIDE("0x");
    if (base == 8 && precisionZeros == 0) prefix += WIDE("0");
  }
  const size_t body = prefix.size() + precisionZeros + n;
  const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  const bool zeroPad = directive.zero && !directive.left && directive.precision < 0;
  if (!directive.left && !zeroPad && width > body) Pad(out, width - body, WIDE(' '));
  out += prefix;
  if (zeroPad && width > body) Pad(out, width - body, WIDE('0'));
  Pad(out, precisionZeros, WIDE('0'));
  while (n > 0) out += static_cast<WideChar>(digits[--n]);
  if (directive.left && width > body) Pad(out, width - body, WIDE(' '));
}

}  // namespace

bool FormatWideV(WideString& out, const WideChar* format, va_list args, const WideChar** failedAt) {
  if (format == nullptr) return false;
  const WideChar* p = format;
  const WideChar* directiveStart = nullptr;
  auto fail = [&] {
    if (failedAt != nullptr) *failedAt = directiveStart;
    return false;
  };
  while (*p != 0) {
    const WideChar* run = p;
    while (*p != 0 && *p != WIDE('%')) ++p;
    out.append(run, static_cast<size_t>(p - run));
    if (*p == 0) break;
    directiveStart = p++;
    if (*p == WIDE('%')) {
      out += WIDE('%');
      ++p;
      continue;
    }
    Directive directive;
    for (;; ++p) {
      if (*p == WIDE('-')) directive.left = true;
      else if (*p == WIDE('+')) directive.plus = true;
      else if (*p == WIDE(' ')) directive.space = true;
      else if (*p == WIDE('#')) directive.alt = true;
      else if (*p == WIDE('0')) directive.zero = true;
      else break;
    }
    if (*p == WIDE('*')) {
      int w = va_arg(args, int);
      if (w < 0) {
        directive.left = true;
        w = -w;
      }
      directive.width = w;
      ++p;
    } else if (*p >= WIDE('0') && *p <= WIDE('9')) {
      directive.width = 0;
      while (*p >= WIDE('0') && *p <= WIDE('9')) {
        if (directive.width > 100000) return fail();
        directive.width = directive.width * 10 + (*p++ - WIDE('0'));
      }
    }
    if (*p == WIDE('.')) {
      ++p;
      directive.precision = 0;
      if (*p == WIDE('*')) {
        directive.precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= WIDE('0') && *p <= WIDE('9')) {
          if (directive.precision > 100000) return fail();
          directive.precision = directive.precision * 10 + (*p++ - WIDE('0'));
        }
      }
    }
    bool narrowText = false, wideText = false;
    if (*p == WIDE('h')) {
      ++p;
      directive.length = Directive::kShort;
      narrowText = true;
      if (*p == WIDE('h')) {
        ++p;
        directive.length = Directive::kChar;
      }
    } else if (*p == WIDE('l')) {
      ++p;
      directive.length = Directive::kLong;
      wideText = true;
      if (*p == WIDE('l')) {
        ++p;
        directive.length = Directive::kLongLong;
      }
    } else if (*p == WIDE('w')) {
      ++p;
      wideText = true;
    } else if (*p == WIDE('I')) {
      if (p[1] == WIDE('6') && p[2] == WIDE('4')) {
        p += 3;
        directive.length = Directive::kLongLong;
      } else if (p[1] == WIDE('3') && p[2] == WIDE('2')) {
        p += 3;
      } else {
        ++p;
        directive.length = Directive::kSize;
      }
    } else if (*p == WIDE('z')) {
      ++p;
      directive.length = Directive::kSize;
    } else if (*p == WIDE('L') || *p == WIDE('q')) {
      ++p;
      directive.length = Directive::kLongLong;
    }
    const WideChar conv = *p;
    if (conv == 0) return fail();
    ++p;
    switch (conv) {
      case WIDE('d'):
      case WIDE('i'): {
        int64_t v;
        switch (directive.length) {
          case Directive::kLongLong: v = va_arg(args, long long); break;
          case Directive::kSize: v = static_cast<int64_t>(va_arg(args, ptrdiff_t)); break;
          case Directive::kShort: v = static_cast<short>(va_arg(args, int)); break;
          case Directive::kChar: v = static_cast<signed char>(va_arg(args, int)); break;
          default: v = va_arg(args, int); break;  // long is 32 bits on Windows
        }
        const bool neg = v < 0;
        const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        EmitInteger(out, directive, mag, neg, 10, false, true);
        break;
      }
      case WIDE('u'):
      case WIDE('x'):
      case WIDE('X'):
      case WIDE('o'): {
        uint64_t v;
        switch (directive.length) {
          case Directive::kLongLong: v = va_arg(args, unsigned long long); break;
          case Directive::kSize: v = va_arg(args, size_t); break;
          case Directive::kShort: v = static_cast<unsigned short>(va_arg(args, unsigned)); break;
          case Directive::kChar: v = static_cast<unsigned char>(va_arg(args, unsigned)); break;
          default: v = va_arg(args, unsigned); break;
        }
        const unsigned base = conv == WIDE('u') ? 10 : conv == WIDE('o') ? 8 : 16;
        EmitInteger(out, directive, v, false, base, conv == WIDE('X'), false);
        break;
      }
      case WIDE('p'): {
        Directive pointerDirective = directive;
        pointerDirective.precision = static_cast<int>(sizeof(void*) * 2);
        EmitInteger(out, pointerDirective, reinterpret_cast<uintptr_t>(va_arg(args, void*)), false, 16,
                    true, false);
        break;
      }
      case WIDE('c'):
      case WIDE('C'): {
        const int v = va_arg(args, int);
        WideChar c;
        if ((conv == WIDE('c') && !narrowText) || (conv == WIDE('C') && wideText)) {
          c = static_cast<WideChar>(v);
        } else {
          c = static_cast<WideChar>(static_cast<unsigned char>(v));
        }
        EmitField(out, directive, &c, 1);
        break;
      }
      case WIDE('s'):
      case WIDE('S'): {
        const bool wide = (conv == WIDE('s') && !narrowText) || (conv == WIDE('S') && wideText);
        if (wide) {
          const WideChar* s = va_arg(args, const WideChar*);
          if (s == nullptr) s = WIDE("(null)");
          size_t len = 0;
          while (s[len] != 0 && (directive.precision < 0 || len < static_cast<size_t>(directive.precision))) {
            ++len;
          }
          EmitField(out, directive, s, len);
        } else {
          const char* s = va_arg(args, const char*);
          if (s == nullptr) s = "(null)";
          WideString w = Utf8ToUtf16(s, std::strlen(s));
          if (directive.precision >= 0 && w.size() > static_cast<size_t>(directive.precision)) {
            w.resize(static_cast<size_t>(directive.precision));
          }
          EmitField(out, directive, w.data(), w.size());
        }
        break;
      }
      case WIDE('e'):
      case WIDE('E'):
      case WIDE('f'):
      case WIDE('F'):
      case WIDE('g'):
      case WIDE('G'):
      case WIDE('a'):
      case WIDE('A'): {
        const double v = va_arg(args, double);
        char fmt[32];
        size_t n = 0;
        fmt[n++] = '%';
        if (directive.left) fmt[n++] = '-';
        if (directive.plus) fmt[n++] = '+';
        if (directive.space) fmt[n++] = ' ';
        if (directive.alt) fmt[n++] = '#';
        if (directive.zero) fmt[n++] = '0';
        fmt[n++] = '*';
        fmt[n++] = '.';
        fmt[n++] = '*';
        fmt[n++] = static_cast<char>(conv);
        fmt[n] = '\0';
        char buf[512];
        const int width = directive.width > 0 ? directive.width : 0;
        const int precision = directive.precision >= 0 ? directive.precision : 6;
        if (width > 400 || precision > 300) return fail();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        // The format is built above from checked flags and one conversion.
        const int len = std::snprintf(buf, sizeof buf, fmt, width, precision, v);
#pragma GCC diagnostic pop
        if (len < 0 || static_cast<size_t>(len) >= sizeof buf) return fail();
        for (int i = 0; i < len; ++i) out += static_cast<WideChar>(buf[i]);
        break;
      }
      default:
        return fail();  // includes %n, which is never honoured
    }
  }
  return true;
}

}  // namespace platform
