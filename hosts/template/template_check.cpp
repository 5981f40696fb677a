#include "hosts/template/template_check.h"

#include <libxml/xmlerror.h>
#include <stdsoap2.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "text/utf.h"

namespace {

struct NamedEncoding {
  const char* name;
  int encoding;
};

constexpr NamedEncoding kEncodings[] = {
    {"none", SOAP_MIME_NONE},       {"7bit", SOAP_MIME_7BIT},
    {"8bit", SOAP_MIME_8BIT},       {"binary", SOAP_MIME_BINARY},
    {"quoted-printable", SOAP_MIME_QUOTED_PRINTABLE}, {"base64", SOAP_MIME_BASE64}};

// The context a host lends the command for the decoded bytes; they live as
// long as it does.
struct Allocation {
  Allocation() : soap(soap_new()) {}
  ~Allocation() {
    if (soap == nullptr) return;
    soap_end(soap);
    soap_free(soap);
  }
  Allocation(const Allocation&) = delete;
  Allocation& operator=(const Allocation&) = delete;
  struct soap* soap;
};

std::string Number(size_t n) { return std::to_string(n); }

std::string Bytes(size_t n) { return Number(n) + (n == 1 ? " byte" : " bytes"); }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Text from a file name or libxml2 as one line of valid UTF-8.
std::string OneLine(const std::string& text) {
  const WideString wide = unicode::Utf8ToUtf16(text.data(), text.size());
  std::string line = unicode::Utf16ToUtf8(wide.data(), wide.size());
  for (char& c : line) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return line;
}

std::string JsonString(const std::string& text) {
  const std::string valid = [&] {
    const WideString wide = unicode::Utf8ToUtf16(text.data(), text.size());
    return unicode::Utf16ToUtf8(wide.data(), wide.size());
  }();
  std::string out = "\"";
  for (const char c : valid) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool AttributeTooLong(const XmlParseReport& parse) {
  return parse.errorCode == XML_ERR_ATTRIBUTE_NOT_FINISHED &&
         parse.message.compare(0, 24, "AttValue length too long") == 0;
}

std::string Where(const XmlParseReport& parse) {
  return "line " + Number(static_cast<size_t>(parse.line)) + ", column " +
         Number(static_cast<size_t>(parse.column));
}

// How the bytes were read: encoding, declaration, cut, replacements.
std::string Reading(const TemplateCheck& check) {
  const XmlTextReading& r = check.reading;
  std::string text = "read as " + r.encoding;
  if (!r.declared.empty() && !SameName(r.declared, r.encoding) &&
      !(SameName(r.encoding, "UTF-8") && SameName(r.declared, "UTF8"))) {
    text += " (it declares " + OneLine(r.declared) + ")";
  }
  if (r.bytesRead < check.decodedSize) {
    text += ", up to the zero " + std::string(r.encoding.compare(0, 6, "UTF-16") == 0 ? "unit" : "byte") +
            " at byte " + Number(r.bytesRead);
  }
  if (r.replacements > 0) {
    text += ", " + Number(r.replacements) + (r.replacements == 1 ? " sequence" : " sequences") +
            " not valid in " + r.encoding + " replaced by U+FFFD at byte ";
    for (size_t i = 0; i < r.replacedAt.size(); ++i) text += (i ? ", " : "") + Number(r.replacedAt[i]);
    if (r.replacements > r.replacedAt.size()) text += ", ...";
  }
  return text;
}

std::string Sizes(const TemplateCheck& check) {
  std::string text = Bytes(check.size);
  const bool unchanged = check.transferEncoding != "base64" && check.transferEncoding != "quoted-printable";
  if (!unchanged) text += " " + check.transferEncoding + ", " + Number(check.decodedSize) + " decoded";
  text += check.delivered ? ", payload " + Bytes(check.payloadBytes) : ", no payload";
  return text;
}

}  // namespace

bool TransferEncodingNamed(const std::string& name, int* encoding) {
  for (const NamedEncoding& known : kEncodings) {
    if (name == known.name) {
      *encoding = known.encoding;
      return true;
    }
  }
  return false;
}

TemplateCheck CheckTemplate(const char* bytes, size_t size, int encoding,
                            const std::string& encodingName) {
  TemplateCheck check;
  check.transferEncoding = encodingName;
  check.size = size;
  if (size > kLargestAttachment) {
    check.tooLarge = true;
    return check;
  }
  Allocation allocation;
  const DecodedTemplate decoded = DecodeTransferEncoding(allocation.soap, bytes, size, encoding);
  check.decodedSize = decoded.size;
  const TemplateText text = ReadTemplateText(decoded, &check.reading);
  check.delivered = ReshapeTemplateText(text, &check.payload, &check.reshape);
  check.payloadBytes = unicode::Utf8Size(check.payload.data(), check.payload.size());
  return check;
}

TemplateCheck CheckTooLarge(size_t size, const std::string& encodingName) {
  TemplateCheck check;
  check.transferEncoding = encodingName;
  check.size = size;
  check.tooLarge = true;
  return check;
}

std::string RefusalCode(const TemplateCheck& check) {
  if (check.tooLarge) return "too-large";
  const XmlParseReport& parse = check.reshape.parse;
  switch (check.reshape.refusal) {
    case TemplateRefusal::kNone:
      return check.delivered ? "" : "not-parsed";
    case TemplateRefusal::kNoRoot:
      return "no-root";
    case TemplateRefusal::kNotSerialised:
      return "not-serialised";
    case TemplateRefusal::kOutOfMemory:
      return "out-of-memory";
    case TemplateRefusal::kNotParsed:
      break;
  }
  if (check.decodedSize == 0 && check.size > 0) return "not-decoded";
  if (parse.inputBytes == 0) return "empty";
  if (parse.expansionRefused || parse.errorCode == XML_ERR_ENTITY_LOOP) return "entity-expansion";
  if (AttributeTooLong(parse)) return "attribute-too-long";
  if (parse.errorCode != 0) return "not-well-formed";
  return "not-parsed";
}

std::string RefusalWords(const TemplateCheck& check) {
  const std::string code = RefusalCode(check);
  const XmlParseReport& parse = check.reshape.parse;
  if (code.empty()) return "";
  if (code == "too-large") {
    return "larger than the " + Bytes(kLargestAttachment) +
           " a terminal reads: it finds no attachment in the command";
  }
  if (code == "no-root") {
    if (check.reshape.documentElement.empty()) return "it has no Root element";
    if (!check.reshape.documentNamespace.empty()) {
      return "its document element is " + OneLine(check.reshape.documentElement) + " in the namespace " +
             OneLine(check.reshape.documentNamespace) + ", not Root in none";
    }
    return "its document element is " + OneLine(check.reshape.documentElement) + ", not Root";
  }
  if (code == "not-serialised") return "libxml2 could not serialise it";
  if (code == "out-of-memory") return "memory ran out on the way to its payload";
  if (code == "not-decoded") return "nothing decodes from the " + check.transferEncoding + " attachment";
  if (code == "empty") return check.decodedSize == 0 ? "the template is empty" : "it has no text before its first zero byte";
  if (code == "entity-expansion") {
    if (parse.expansionRefused) {
      return "its entity references would add more than " + Bytes(parse.expansionLimit) +
             " (5 times its " + Bytes(parse.inputBytes) + " of UTF-8 plus 750 KiB)";
    }
    // libxml2 places this error in the replacement text it was expanding,
    // not in the file: its line and column would point the reader astray.
    return "libxml2 refused to expand its entities: " + OneLine(parse.message);
  }
  if (code == "attribute-too-long") {
    return "an attribute value is longer than libxml2's limit of 10000000 bytes, at " + Where(parse);
  }
  if (code == "not-well-formed") return "not well-formed XML at " + Where(parse) + ": " + OneLine(parse.message);
  return "libxml2 could not parse it";
}

std::string CheckLine(const std::string& file, const TemplateCheck& check) {
  std::string line = OneLine(file) + ": ";
  if (check.tooLarge) return line + "refused: " + RefusalWords(check) + "; " + Sizes(check);
  line += check.delivered ? "delivered" : "refused: " + RefusalWords(check);
  line += "; " + Reading(check);
  if (check.delivered) {
    line += check.reshape.csc ? "; CSC template, wrapped in CSCTemplateConfig" : "; not a CSC template";
    const XmlParseReport& parse = check.reshape.parse;
    if (parse.errorCode != 0) line += "; libxml2 reported at " + Where(parse) + ": " + OneLine(parse.message);
  }
  return line + "; " + Sizes(check);
}

std::string CheckJson(const std::string& file, const TemplateCheck& check) {
  const XmlParseReport& parse = check.reshape.parse;
  const XmlTextReading& r = check.reading;
  const std::string code = RefusalCode(check);
  std::string json = "{\"file\":" + JsonString(file);
  json += ",\"verdict\":\"" + std::string(check.delivered ? "delivered" : "refused") + "\"";
  json += ",\"reason\":" + (code.empty() ? "null" : JsonString(code));
  json += ",\"why\":" + (code.empty() ? "null" : JsonString(RefusalWords(check)));
  json += ",\"transfer_encoding\":" + JsonString(check.transferEncoding);
  json += ",\"size\":" + Number(check.size);
  json += ",\"decoded_size\":" + Number(check.decodedSize);
  if (!check.tooLarge) {
    json += ",\"encoding\":" + JsonString(r.encoding);
    json += ",\"declared_encoding\":" + (r.declared.empty() ? "null" : JsonString(r.declared));
    json += ",\"bytes_read\":" + Number(r.bytesRead);
    json += ",\"replaced\":" + Number(r.replacements) + ",\"replaced_at\":[";
    for (size_t i = 0; i < r.replacedAt.size(); ++i) json += (i ? "," : "") + Number(r.replacedAt[i]);
    json += "]";
    json += ",\"document_element\":" +
            (check.reshape.documentElement.empty() ? "null" : JsonString(check.reshape.documentElement));
    json += ",\"document_namespace\":" +
            (check.reshape.documentNamespace.empty() ? "null" : JsonString(check.reshape.documentNamespace));
  }
  json += ",\"csc\":" + std::string(check.delivered ? (check.reshape.csc ? "true" : "false") : "null");
  json += ",\"payload_size\":" + (check.delivered ? Number(check.payloadBytes) : "null");
  json += ",\"xml_error\":";
  if (parse.errorCode == 0) {
    json += "null";
  } else {
    json += "{\"code\":" + std::to_string(parse.errorCode) + ",\"line\":" + std::to_string(parse.line) +
            ",\"column\":" + std::to_string(parse.column) + ",\"message\":" + JsonString(parse.message) + "}";
  }
  return json + "}";
}

std::string UnreadableLine(const std::string& file, const std::string& why) {
  return OneLine(file) + ": cannot be read: " + OneLine(why);
}

std::string UnreadableJson(const std::string& file, const std::string& why) {
  return "{\"file\":" + JsonString(file) + ",\"verdict\":\"unreadable\",\"reason\":\"unreadable\",\"why\":" +
         JsonString(why) + "}";
}
