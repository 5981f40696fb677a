#include "xmlconfig/xml_encoding.h"

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"
#include "text/utf.h"

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A cursor over the declaration; every step fails once one has failed.
class DeclarationReader {
 public:
  DeclarationReader(const char* p, const char* end) : p_(p), end_(end) {}

  bool Literal(const char* text) {
    const size_t n = std::strlen(text);
    if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, text, n) != 0) return false;
    p_ += n;
    return true;
  }
  size_t Offset(const char* start) const { return static_cast<size_t>(p_ - start); }
  bool Blanks() {
    const char* start = p_;
    while (p_ < end_ && IsBlank(*p_)) ++p_;
    return p_ > start;
  }
  // Eq and a quoted value: S? '=' S? ('"' value '"' | "'" value "'").
  bool Value(std::string* value) {
    Blanks();
    if (!Literal("=")) return false;
    Blanks();
    if (p_ >= end_ || (*p_ != '"' && *p_ != '\'')) return false;
    const char quote = *p_++;
    const char* start = p_;
    while (p_ < end_ && *p_ != quote && *p_ != '<') ++p_;
    if (p_ >= end_ || *p_ != quote) return false;
    value->assign(start, p_);
    ++p_;
    return true;
  }

 private:
  const char* p_;
  const char* end_;
};

bool IsEncName(const std::string& name) {
  if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    return false;
  }
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}


enum class Encoding { kUtf8, kUtf16Le, kUtf16Be, kLatin1, kAscii, kWindows1252 };

bool StartsWith(const unsigned char* bytes, size_t size, const char* prefix, size_t n) {
  return size >= n && std::memcmp(bytes, prefix, n) == 0;
}

// The names, letter case ignored, under which the IANA registry and the
// library know the single-byte encodings read here.
Encoding NamedEncoding(const std::string& declared) {
  const std::string name = UpperAscii(declared);
  for (const char* latin1 : {"ISO-8859-1", "ISO_8859-1", "ISO_8859-1:1987", "ISO8859-1", "ISO-IR-100",
                             "ISO-LATIN-1", "LATIN1", "L1", "IBM819", "CP819", "CSISOLATIN1"}) {
    if (name == latin1) return Encoding::kLatin1;
  }
  for (const char* ascii : {"US-ASCII", "ASCII", "ANSI_X3.4-1968", "ISO646-US", "US", "IBM367",
                            "CP367", "CSASCII", "ISO-IR-6"}) {
    if (name == ascii) return Encoding::kAscii;
  }
  if (name == "WINDOWS-1252" || name == "CP1252" || name == "X-CP1252") return Encoding::kWindows1252;
  return Encoding::kUtf8;
}

// Appendix F of XML 1.0, as the library detects it: a byte-order mark, or
// the first characters "<?" in UTF-16 without one.
Encoding DetectedEncoding(const unsigned char* bytes, size_t size) {
  if (StartsWith(bytes, size, "\xFF\xFE", 2) || StartsWith(bytes, size, "<\0?\0", 4)) {
    return Encoding::kUtf16Le;
  }
  if (StartsWith(bytes, size, "\xFE\xFF", 2) || StartsWith(bytes, size, "\0<\0?", 4)) {
    return Encoding::kUtf16Be;
  }
  return Encoding::kUtf8;
}

void NoteRead(XmlTextReading* reading, const char* encoding, size_t bytesRead) {
  if (reading == nullptr) return;
  reading->encoding = encoding;
  reading->bytesRead = bytesRead;
}

void NoteReplaced(XmlTextReading* reading, size_t byteOffset) {
  if (reading == nullptr) return;
  if (reading->replacements++ < kReplacementsListed) reading->replacedAt.push_back(byteOffset);
}

WideString Utf16Text(const unsigned char* bytes, size_t size, bool littleEndian,
                     XmlTextReading* reading) {
  WideString text;
  text.reserve(size / 2 + 1);
  size_t i = 0;
  bool zero = false;
  for (; i + 1 < size; i += 2) {
    const WideChar unit = static_cast<WideChar>(littleEndian ? bytes[i] | bytes[i + 1] << 8
                                                             : bytes[i] << 8 | bytes[i + 1]);
    if (unit == 0) {
      zero = true;
      break;
    }
    text.push_back(unit);
  }
  const bool half = !zero && i < size;
  if (half) text.push_back(0xFFFD);
  NoteRead(reading, littleEndian ? "UTF-16LE" : "UTF-16BE", half ? size : i);
  // Unpaired surrogates become U+FFFD, as the UTF-8 side makes them (before
  // a zero unit they are left to the conversion to UTF-8, which does the
  // same); unit k is at byte 2k.
  for (size_t k = 0; k < text.size(); ++k) {
    const WideChar unit = text[k];
    if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
        text[k + 1] <= 0xDFFF) {
      ++k;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      if (!zero) text[k] = 0xFFFD;
      NoteReplaced(reading, 2 * k);
    }
  }
  if (half) NoteReplaced(reading, size - 1);
  return text;
}

}  // namespace

namespace {

// Where the EncName of the declaration that starts `bytes` lies, if it has one.
bool FindDeclaredEncoding(const char* bytes, size_t size, size_t* begin, size_t* end) {
  DeclarationReader reader(bytes, bytes + size);
  reader.Literal("\xEF\xBB\xBF");
  std::string version, encoding;
  if (!reader.Literal("<?xml") || !reader.Blanks() || !reader.Literal("version") ||
      !reader.Value(&version) || !reader.Blanks() || !reader.Literal("encoding") ||
      !reader.Value(&encoding) || !IsEncName(encoding)) {
    return false;
  }
  *end = reader.Offset(bytes) - 1;  // before the closing quote
  *begin = *end - encoding.size();
  return true;
}

// Text read from another encoding is no longer in it: its declaration, if it
// names one, names UTF-8, the encoding the text is carried in from here on.
void DeclareUtf8(WideString* text) {
  constexpr size_t kLongestDeclaration = 512;
  const size_t start = !text->empty() && (*text)[0] == 0xFEFF ? 1 : 0;
  std::string probe;
  for (size_t i = start; i < text->size() && probe.size() < kLongestDeclaration; ++i) {
    const WideChar unit = (*text)[i];
    probe.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x01');
  }
  size_t begin = 0, end = 0;
  if (FindDeclaredEncoding(probe.data(), probe.size(), &begin, &end)) {
    text->replace(start + begin, end - begin, WIDE("UTF-8"));
  }
}

WideString Converted(WideString text) {
  DeclareUtf8(&text);
  return text;
}

}  // namespace

std::string DeclaredEncoding(const char* bytes, size_t size) {
  size_t begin = 0, end = 0;
  if (!FindDeclaredEncoding(bytes, size, &begin, &end)) return std::string();
  return std::string(bytes + begin, bytes + end);
}

bool NamesUtf8(const std::string& encoding) {
  const std::string name = UpperAscii(encoding);
  return name == "UTF-8" || name == "UTF8";
}

WideString XmlTextFromBytes(const char* text, size_t size, XmlTextReading* reading) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  if (reading != nullptr) *reading = XmlTextReading();
  const Encoding detected = DetectedEncoding(bytes, size);
  if (detected != Encoding::kUtf8) {
    WideString result = Utf16Text(bytes, size, detected == Encoding::kUtf16Le, reading);
    if (reading != nullptr) {
      // The declaration as the text's own characters hold it.
      const std::string head = unicode::Utf16ToUtf8(result.data(), std::min<size_t>(result.size(), 256));
      reading->declared = DeclaredEncoding(head.data(), head.size());
    }
    return Converted(std::move(result));
  }

  const void* nul = std::memchr(text, 0, size);
  if (nul != nullptr) size = static_cast<size_t>(static_cast<const char*>(nul) - text);
  if (reading != nullptr) reading->declared = DeclaredEncoding(text, size);
  if (unicode::IsUtf8(text, size)) {
    NoteRead(reading, "UTF-8", size);
    return unicode::Utf8ToUtf16(text, size);
  }
  // A UTF-8 byte-order mark outweighs the declaration.
  const Encoding declared = StartsWith(bytes, size, "\xEF\xBB\xBF", 3)
                                ? Encoding::kUtf8
                                : NamedEncoding(DeclaredEncoding(text, size));
  WideString result;
  switch (declared) {
    case Encoding::kLatin1:
      NoteRead(reading, "ISO-8859-1", size);
      result.assign(bytes, bytes + size);
      return Converted(std::move(result));
    case Encoding::kAscii:
      NoteRead(reading, "US-ASCII", size);
      result.reserve(size);
      for (size_t i = 0; i < size; ++i) {
        result.push_back(bytes[i] < 0x80 ? bytes[i] : 0xFFFD);
        if (bytes[i] >= 0x80) NoteReplaced(reading, i);
      }
      return Converted(std::move(result));
    case Encoding::kWindows1252:
      if (platform::SingleByteToUtf16(platform::kCodePageWindows1252, text, size, &result)) {
        NoteRead(reading, "windows-1252", size);
        // One unit a byte; no byte stands for U+FFFD itself.
        for (size_t i = 0; reading != nullptr && i < result.size(); ++i) {
          if (result[i] == 0xFFFD) NoteReplaced(reading, i);
        }
        return Converted(std::move(result));
      }
      break;
    default:
      break;
  }
  if (reading != nullptr) {
    NoteRead(reading, "UTF-8", size);
    reading->replacements =
        unicode::Utf8Replacements(text, size, &reading->replacedAt, kReplacementsListed);
  }
  return Converted(unicode::Utf8ToUtf16(text, size));
}
