#include "text/wide_printf.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "text/utf.h"

namespace unicode {
namespace {

// A width or precision that has grown past this is refused before its next
// digit could overflow an int.
constexpr int kMaxFieldValue = 100000;
// A 64-bit magnitude in base 2 or more.
constexpr size_t kMaxIntegerDigits = 64;
// The longest format handed to snprintf: every flag, both stars, a conversion.
constexpr size_t kFloatSpecChars = sizeof "%-+ #0*.*e";
// One floating-point field; output that would not fit is a formatting error.
constexpr size_t kFloatTextChars = 512;
constexpr int kMaxFloatWidth = 400;
constexpr int kMaxFloatPrecision = 300;
constexpr int kDefaultFloatPrecision = 6;  // as in C
constexpr int kPointerHexDigits = static_cast<int>(sizeof(void*) * 2);

// One parsed conversion: "%[flags][width][.precision][length]conversion".
struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = -1;
  int precision = -1;
  enum Length { kDefault, kShort, kChar, kLong, kLongLong, kSize } length = kDefault;
  // 'h' and 'l'/'w' also choose narrow or wide text for %c, %C, %s and %S.
  bool narrowText = false, wideText = false;
  WideChar conversion = 0;
};

bool IsDigit(WideChar c) { return c >= WIDE('0') && c <= WIDE('9'); }

// Decimal digits at `p` into `value` (already 0); false past kMaxFieldValue.
bool ReadCount(const WideChar*& p, int* value) {
  while (IsDigit(*p)) {
    if (*value > kMaxFieldValue) return false;
    *value = *value * 10 + (*p++ - WIDE('0'));
  }
  return true;
}

void ParseFlags(const WideChar*& p, Directive* directive) {
  for (;; ++p) {
    if (*p == WIDE('-')) directive->left = true;
    else if (*p == WIDE('+')) directive->plus = true;
    else if (*p == WIDE(' ')) directive->space = true;
    else if (*p == WIDE('#')) directive->alt = true;
    else if (*p == WIDE('0')) directive->zero = true;
    else return;
  }
}

bool ParseWidth(const WideChar*& p, va_list* args, Directive* directive) {
  if (*p == WIDE('*')) {
    int w = va_arg(*args, int);
    if (w < 0) {
      directive->left = true;
      w = -w;
    }
    directive->width = w;
    ++p;
    return true;
  }
  if (!IsDigit(*p)) return true;
  directive->width = 0;
  return ReadCount(p, &directive->width);
}

bool ParsePrecision(const WideChar*& p, va_list* args, Directive* directive) {
  if (*p != WIDE('.')) return true;
  ++p;
  directive->precision = 0;
  if (*p != WIDE('*')) return ReadCount(p, &directive->precision);
  directive->precision = va_arg(*args, int);
  ++p;
  return true;
}

// Length prefixes, longer before shorter where one begins another.
struct LengthPrefix {
  const char* text;
  Directive::Length length;
  bool narrowText, wideText;
};
constexpr LengthPrefix kLengthPrefixes[] = {
    {"hh", Directive::kChar, true, false},      {"h", Directive::kShort, true, false},
    {"ll", Directive::kLongLong, false, true},  {"l", Directive::kLong, false, true},
    {"w", Directive::kDefault, false, true},    {"I64", Directive::kLongLong, false, false},
    {"I32", Directive::kDefault, false, false}, {"I", Directive::kSize, false, false},
    {"z", Directive::kSize, false, false},      {"L", Directive::kLongLong, false, false},
    {"q", Directive::kLongLong, false, false},
};

void ParseLength(const WideChar*& p, Directive* directive) {
  for (const LengthPrefix& prefix : kLengthPrefixes) {
    size_t n = 0;
    while (prefix.text[n] != 0 && p[n] == static_cast<WideChar>(prefix.text[n])) ++n;
    if (prefix.text[n] != 0) continue;
    p += n;
    directive->length = prefix.length;
    directive->narrowText = prefix.narrowText;
    directive->wideText = prefix.wideText;
    return;
  }
}

// The directive after its '%', leaving `p` past it. '*' widths and
// precisions are taken from `args` as they are met. False when malformed.
bool ParseDirective(const WideChar*& p, va_list* args, Directive* directive) {
  ParseFlags(p, directive);
  if (!ParseWidth(p, args, directive) || !ParsePrecision(p, args, directive)) return false;
  ParseLength(p, directive);
  directive->conversion = *p;
  if (directive->conversion == 0) return false;
  ++p;
  return true;
}

void Pad(WideString& out, size_t count, WideChar c) { out.append(count, c); }

void EmitField(WideString& out, const Directive& directive, const WideChar* text, size_t len) {
  const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  if (!directive.left && width > len) Pad(out, width - len, WIDE(' '));
  out.append(text, len);
  if (directive.left && width > len) Pad(out, width - len, WIDE(' '));
}

void EmitInteger(WideString& out, const Directive& directive, uint64_t magnitude, bool negative,
                 unsigned base, bool upper, bool isSigned) {
  char digits[kMaxIntegerDigits];
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

// %d and %i.
bool EmitSigned(WideString& out, const Directive& directive, va_list* args) {
  int64_t v;
  switch (directive.length) {
    case Directive::kLongLong: v = va_arg(*args, long long); break;
    case Directive::kSize: v = static_cast<int64_t>(va_arg(*args, ptrdiff_t)); break;
    case Directive::kShort: v = static_cast<short>(va_arg(*args, int)); break;
    case Directive::kChar: v = static_cast<signed char>(va_arg(*args, int)); break;
    default: v = va_arg(*args, int); break;  // long is 32 bits on Windows
  }
  const bool neg = v < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  EmitInteger(out, directive, mag, neg, 10, false, true);
  return true;
}

// %u, %x, %X and %o.
bool EmitUnsigned(WideString& out, const Directive& directive, va_list* args) {
  uint64_t v;
  switch (directive.length) {
    case Directive::kLongLong: v = va_arg(*args, unsigned long long); break;
    case Directive::kSize: v = va_arg(*args, size_t); break;
    case Directive::kShort: v = static_cast<unsigned short>(va_arg(*args, unsigned)); break;
    case Directive::kChar: v = static_cast<unsigned char>(va_arg(*args, unsigned)); break;
    default: v = va_arg(*args, unsigned); break;
  }
  const WideChar conv = directive.conversion;
  const unsigned base = conv == WIDE('u') ? 10 : conv == WIDE('o') ? 8 : 16;
  EmitInteger(out, directive, v, false, base, conv == WIDE('X'), false);
  return true;
}

bool EmitPointer(WideString& out, const Directive& directive, va_list* args) {
  Directive pointerDirective = directive;
  pointerDirective.precision = kPointerHexDigits;
  const uintptr_t address = reinterpret_cast<uintptr_t>(va_arg(*args, void*));
  EmitInteger(out, pointerDirective, address, false, 16, true, false);
  return true;
}

// Whether %c/%s (wide unless 'h') or %C/%S (narrow unless 'l' or 'w') take
// wide text.
bool TakesWideText(const Directive& directive, WideChar lower) {
  return (directive.conversion == lower && !directive.narrowText) ||
         (directive.conversion != lower && directive.wideText);
}

bool EmitCharacter(WideString& out, const Directive& directive, va_list* args) {
  const int v = va_arg(*args, int);
  const WideChar c = TakesWideText(directive, WIDE('c'))
                         ? static_cast<WideChar>(v)
                         : static_cast<WideChar>(static_cast<unsigned char>(v));
  EmitField(out, directive, &c, 1);
  return true;
}

bool EmitString(WideString& out, const Directive& directive, va_list* args) {
  if (TakesWideText(directive, WIDE('s'))) {
    const WideChar* s = va_arg(*args, const WideChar*);
    if (s == nullptr) s = WIDE("(null)");
    size_t len = 0;
    while (s[len] != 0 && (directive.precision < 0 || len < static_cast<size_t>(directive.precision))) {
      ++len;
    }
    EmitField(out, directive, s, len);
    return true;
  }
  const char* s = va_arg(*args, const char*);
  if (s == nullptr) s = "(null)";
  WideString w = unicode::Utf8ToUtf16(s, std::strlen(s));
  if (directive.precision >= 0 && w.size() > static_cast<size_t>(directive.precision)) {
    w.resize(static_cast<size_t>(directive.precision));
  }
  EmitField(out, directive, w.data(), w.size());
  return true;
}

// %e, %f, %g, %a and their capitals, through the C library; false for a
// field larger than the limits allow.
bool EmitFloat(WideString& out, const Directive& directive, va_list* args) {
  const double v = va_arg(*args, double);
  char fmt[kFloatSpecChars];
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
  fmt[n++] = static_cast<char>(directive.conversion);
  fmt[n] = '\0';
  char buf[kFloatTextChars];
  const int width = directive.width > 0 ? directive.width : 0;
  const int precision = directive.precision >= 0 ? directive.precision : kDefaultFloatPrecision;
  if (width > kMaxFloatWidth || precision > kMaxFloatPrecision) return false;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  // The format is built above from checked flags and one conversion.
  const int len = std::snprintf(buf, sizeof buf, fmt, width, precision, v);
#pragma GCC diagnostic pop
  if (len < 0 || static_cast<size_t>(len) >= sizeof buf) return false;
  for (int i = 0; i < len; ++i) out += static_cast<WideChar>(buf[i]);
  return true;
}

// An emitter fetches its directive's argument and appends the field; false,
// with nothing appended, when the field cannot be formatted.
using Emitter = bool (*)(WideString& out, const Directive& directive, va_list* args);

struct ConversionFamily {
  const char* conversions;
  Emitter emit;
};
// %n is in none: it is never honoured.
constexpr ConversionFamily kConversionFamilies[] = {
    {"di", EmitSigned},      {"uxXo", EmitUnsigned}, {"p", EmitPointer},
    {"cC", EmitCharacter},   {"sS", EmitString},     {"eEfFgGaA", EmitFloat},
};

// False for a conversion that is not supported, or a field that failed.
bool EmitConversion(WideString& out, const Directive& directive, va_list* args) {
  for (const ConversionFamily& family : kConversionFamilies) {
    for (const char* c = family.conversions; *c != 0; ++c) {
      if (directive.conversion == static_cast<WideChar>(*c)) return family.emit(out, directive, args);
    }
  }
  return false;
}

bool Format(WideString& out, const WideChar* format, va_list* args, const WideChar** failedAt) {
  const WideChar* p = format;
  while (*p != 0) {
    const WideChar* run = p;
    while (*p != 0 && *p != WIDE('%')) ++p;
    out.append(run, static_cast<size_t>(p - run));
    if (*p == 0) break;
    const WideChar* directiveStart = p++;
    if (*p == WIDE('%')) {
      out += WIDE('%');
      ++p;
      continue;
    }
    Directive directive;
    if (!ParseDirective(p, args, &directive) || !EmitConversion(out, directive, args)) {
      if (failedAt != nullptr) *failedAt = directiveStart;
      return false;
    }
  }
  return true;
}

}  // namespace

bool FormatWideV(WideString& out, const WideChar* format, va_list args, const WideChar** failedAt) {
  if (format == nullptr) return false;
  // A copy the steps can share by address: a va_list parameter cannot be
  // passed on portably once read from.
  va_list shared;
  va_copy(shared, args);
  const bool ok = Format(out, format, &shared, failedAt);
  va_end(shared);
  return ok;
}

}  // namespace unicode
