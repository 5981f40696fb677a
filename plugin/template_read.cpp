#include "plugin/template_read.h"

#include <libxml/tree.h>
#include <stdsoap2.h>

#include <cstring>
#include <memory>
#include <new>

#include "plugin/base64.h"
#include "text/utf.h"
#include "xmlconfig/xml_memory.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Refused(ReshapeReport* report, TemplateRefusal refusal) {
  if (report != nullptr) report->refusal = refusal;
  return false;
}

// The document's element as UTF-8: its name with its prefix, its namespace.
void NoteDocumentElement(const CXmlDoc& xml, ReshapeReport* report) {
  const xmlNode* element = xml.doc != nullptr ? xmlDocGetRootElement(xml.doc) : nullptr;
  if (element == nullptr || element->name == nullptr) return;
  std::string name = reinterpret_cast<const char*>(element->name);
  if (element->ns != nullptr && element->ns->prefix != nullptr) {
    name = reinterpret_cast<const char*>(element->ns->prefix) + (":" + name);
  }
  report->documentElement = std::move(name);
  if (element->ns != nullptr && element->ns->href != nullptr) {
    report->documentNamespace = reinterpret_cast<const char*>(element->ns->href);
  }
}

}  // namespace

char* DecodeQuotedPrintable(const char* encoded, struct soap* soap, int32_t size,
                            int32_t* decodedSize) {
  if (soap == nullptr || size < 0) return nullptr;
  char* out = static_cast<char*>(soap_malloc(soap, static_cast<size_t>(size) + 1));
  if (out == nullptr) return nullptr;
  std::memset(out, 0, static_cast<size_t>(size) + 1);
  int32_t i = 0, n = 0;
  while (i < size) {
    const char c = encoded[i];
    if (c != '=') {
      out[n++] = c;
      ++i;
      continue;
    }
    if (size - i >= 3 && encoded[i + 1] == '\r' && encoded[i + 2] == '\n') {
      i += 3;
      continue;
    }
    const int hi = size - i >= 2 ? HexValue(encoded[i + 1]) : -1;
    const int lo = size - i >= 3 ? HexValue(encoded[i + 2]) : -1;
    out[n++] = (hi >= 0 && lo >= 0) ? static_cast<char>(hi * 16 + lo) : '=';
    i += 3;
  }
  *decodedSize = n;
  return out;
}

DecodedTemplate DecodeTransferEncoding(struct soap* allocation, const char* bytes, size_t size,
                                       int encoding) {
  if (bytes == nullptr || size > kLargestAttachment) return DecodedTemplate();
  const char* decoded = nullptr;
  int32_t decodedSize = 0;
  if (encoding == SOAP_MIME_BASE64) {
    if (allocation != nullptr) {
      // The decoder marks the context with an error when the text is not
      // base64; the context is the host's, so it is left as it was found.
      const int error = allocation->error;
      int n = 0;
      decoded = DecodeBase64(allocation, bytes, nullptr, size, &n);
      allocation->error = error;
      decodedSize = decoded != nullptr ? n : 0;
    }
  } else if (encoding == SOAP_MIME_QUOTED_PRINTABLE) {
    decoded = DecodeQuotedPrintable(bytes, allocation, static_cast<int32_t>(size), &decodedSize);
  } else {
    decoded = bytes;
    decodedSize = static_cast<int32_t>(size);
  }
  DecodedTemplate result;
  if (decoded != nullptr && decodedSize > 0) {
    result.bytes = decoded;
    result.size = static_cast<size_t>(decodedSize);
  }
  return result;
}

TemplateText ReadTemplateText(const DecodedTemplate& decoded, XmlTextReading* reading) {
  TemplateText text;
  if (decoded.size == 0 || (std::memchr(decoded.bytes, 0, decoded.size) == nullptr &&
                            unicode::IsUtf8(decoded.bytes, decoded.size))) {
    // The very text their UTF-16 form would be.
    if (decoded.size != 0) {
      text.utf8 = decoded.bytes;
      text.utf8Size = decoded.size;
    }
    if (reading != nullptr) {
      *reading = XmlTextReading();
      reading->encoding = "UTF-8";
      reading->declared = DeclaredEncoding(text.utf8, text.utf8Size);
      reading->bytesRead = text.utf8Size;
    }
    return text;
  }
  text.isWide = true;
  text.wide = XmlTextFromBytes(decoded.bytes, decoded.size, reading);
  return text;
}

namespace {

// Marks a parsed template and serialises it into `dump`; the document is
// released as soon as that is done.
bool Reshape(std::unique_ptr<CXmlDoc> document, XmlDump* dump, ReshapeReport* report) {
  CXmlDoc& xml = *document;
  if (report != nullptr) NoteDocumentElement(xml, report);
  if (xml.Select(WIDE("/Root")) != 0) {
    return Refused(report, xml.doc == nullptr ? TemplateRefusal::kNotParsed : TemplateRefusal::kNoRoot);
  }
  xmlNodePtr root = xml.nodeSet->nodeTab[0];
  xml.SetAttribute(WIDE("Template"), WIDE("true"));
  xml.SetAttribute(WIDE("OS"), WIDE("All"));

  // The first element under Root names the kind; every one is selected only
  // when they are to move, before the wrapper joins them.
  xml.SelectFirst(WIDE("/Root/*"));
  const bool csc = xml.GetAttribute(WIDE("ns")) == WIDE("CSC");
  if (report != nullptr) report->csc = csc;
  if (csc) {
    xml.Select(WIDE("/Root/*"));
    xmlNodePtr wrapper = xml.AddChild(WIDE("CSCTemplateConfig"), WIDE(""), root);
    if (wrapper != nullptr) {
      xml.SetNodeAttribute(WIDE("ns"), WIDE("CSC"), wrapper);
      xml.SetNodeAttribute(WIDE("Modified"), WIDE("true"), wrapper);
      xml.MoveSelectedElementsUnder(wrapper);
    }
  }
  // The payload is made of the dump only once the tree is gone: the two are
  // the largest things a command holds.
  if (!dump->Write(xml.doc)) return Refused(report, TemplateRefusal::kNotSerialised);
  document.reset();
  return true;
}

// The payload of the document `parse` makes, whole or not at all. Memory can
// run out anywhere from the parse to the payload (a 32-bit host meets it with
// large templates), and the library does not report every such failure: a
// copy may lose its children, a dump its long values. So any allocation it
// was refused fails the payload, whatever each call answered.
// `take` makes the payload of the dump, in the width its user needs.
template <typename Parse, typename Take>
bool MakePayload(Parse parse, Take take, ReshapeReport* report) {
  const XmlAllocationWatch watch;
  try {
    XmlDump dump;
    const bool reshaped = Reshape(parse(), &dump, report);
    if (watch.Failed()) return Refused(report, TemplateRefusal::kOutOfMemory);
    if (!reshaped) return false;
    return take(dump) || Refused(report, TemplateRefusal::kOutOfMemory);
  } catch (const std::bad_alloc&) {
    return Refused(report, TemplateRefusal::kOutOfMemory);
  }
}

auto Utf16Payload(WideString* payload) {
  return [payload](XmlDump& dump) {
    *payload = dump.TakeWide();
    return true;
  };
}

// The text the service call hands its runtime, made straight from the dump.
auto WcharPayload(WcharText* payload) {
  return [payload](XmlDump& dump) {
    *payload = dump.TakeWchar();
    return *payload != nullptr;
  };
}

auto ParseWide(const WideChar* text, ReshapeReport* report) {
  XmlParseReport* parse = report != nullptr ? &report->parse : nullptr;
  return [text, parse] { return std::make_unique<CXmlDoc>(text, parse); };
}

auto ParseUtf8(const char* utf8, size_t size, ReshapeReport* report) {
  XmlParseReport* parse = report != nullptr ? &report->parse : nullptr;
  return [utf8, size, parse] { return std::make_unique<CXmlDoc>(utf8, size, parse); };
}

}  // namespace

bool ReshapeTemplate(const WideString& templateText, WideString* payload) {
  return ReshapeTemplate(templateText.c_str(), payload);
}

bool ReshapeTemplate(const WideChar* templateText, WideString* payload, ReshapeReport* report) {
  return MakePayload(ParseWide(templateText, report), Utf16Payload(payload), report);
}

bool ReshapeUtf8Template(const char* utf8, size_t size, WideString* payload, ReshapeReport* report) {
  return MakePayload(ParseUtf8(utf8, size, report), Utf16Payload(payload), report);
}

bool ReshapeTemplateText(const TemplateText& text, WideString* payload, ReshapeReport* report) {
  if (text.isWide) return ReshapeTemplate(text.wide.c_str(), payload, report);
  return ReshapeUtf8Template(text.utf8, text.utf8Size, payload, report);
}

bool ReshapeTemplateForCall(const WideChar* templateText, WcharText* payload) {
  return MakePayload(ParseWide(templateText, nullptr), WcharPayload(payload), nullptr);
}

bool ReshapeUtf8TemplateForCall(const char* utf8, size_t size, WcharText* payload) {
  return MakePayload(ParseUtf8(utf8, size, nullptr), WcharPayload(payload), nullptr);
}
