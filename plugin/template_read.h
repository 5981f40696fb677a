// Module TemplateRead: a template as a TemplateConfig command reads it, up to
// the payload the local service receives: the attachment's transfer encoding
// undone, the text taken from the bytes, the reshaped and serialised
// document, or why there is none. Nothing here logs or sends: the command
// (modules Quorvil and TemplateOp) and quorvil-template both run it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/wide.h"
#include "xmlconfig/xml_doc.h"
#include "xmlconfig/xml_dump.h"
#include "xmlconfig/xml_encoding.h"

struct soap;

// The largest part the command reads: the decoders count in 32 bits. A larger
// one is no attachment to it.
constexpr size_t kLargestAttachment = static_cast<size_t>(std::numeric_limits<int32_t>::max());

// Undoes quoted-printable encoding into memory of `soap`: the decoded bytes
// and a zero byte after them, with their count in `decodedSize`; null when the
// memory cannot be had. An "=" not followed by two hexadecimal digits (and not
// a soft line break) stands for itself and still consumes three bytes.
char* DecodeQuotedPrintable(const char* encoded, struct soap* soap, int32_t size,
                            int32_t* decodedSize);

// The template's bytes with the transfer encoding undone; none (size 0) when
// nothing decoded.
struct DecodedTemplate {
  const char* bytes = nullptr;
  size_t size = 0;
};

// Undoes `encoding` (gSOAP's soap_mime_encoding) on `size` bytes, at most
// kLargestAttachment: base64 with DecodeBase64 (answering as the gSOAP
// runtime's soap_base642s) and quoted-printable with DecodeQuotedPrintable,
// both into memory of `allocation`, whose error state is left as it was
// found; any other encoding leaves the bytes as they are.
DecodedTemplate DecodeTransferEncoding(struct soap* allocation, const char* bytes, size_t size,
                                       int encoding);

// The template's text as dispatch takes it: bytes that are valid UTF-8
// without a zero byte as they are (`utf8`), any others made into UTF-16 text
// by XmlTextFromBytes (`wide`).
struct TemplateText {
  bool isWide = false;
  const char* utf8 = "";  // borrowed from the decoded bytes
  size_t utf8Size = 0;
  WideString wide;
};
// `reading`, when given, is told how the bytes were read.
TemplateText ReadTemplateText(const DecodedTemplate& decoded, XmlTextReading* reading = nullptr);

// Why a template gives no payload.
enum class TemplateRefusal {
  kNone,
  kNotParsed,      // empty, not well-formed or refused by the parser (XmlParseReport)
  kNoRoot,         // the document element is not Root
  kNotSerialised,  // the library could not serialise it
  kOutOfMemory,    // an allocation was refused on the way: nothing is delivered half made
};

// What reshaping found, for a caller that asks why.
struct ReshapeReport {
  XmlParseReport parse;
  TemplateRefusal refusal = TemplateRefusal::kNone;
  // The parsed document's element: its name with its prefix, and its
  // namespace, as UTF-8.
  std::string documentElement;
  std::string documentNamespace;
  bool csc = false;  // wrapped in CSCTemplateConfig
};

// The payload the local service receives for a template text: the text
// parsed, Root marked for all systems (Template="true", OS="All"), the
// content of a CSC template wrapped in CSCTemplateConfig, and the document
// serialised, whole or not at all. False when there is none; `report`, when
// given, says why. A null text reads as the empty text.
bool ReshapeTemplate(const WideString& templateText, WideString* payload);
bool ReshapeTemplate(const WideChar* templateText, WideString* payload,
                     ReshapeReport* report = nullptr);
// The same for valid UTF-8 without a zero byte, parsed as it is.
bool ReshapeUtf8Template(const char* utf8, size_t size, WideString* payload,
                         ReshapeReport* report = nullptr);
// The one of the two that dispatch calls for `text`.
bool ReshapeTemplateText(const TemplateText& text, WideString* payload,
                         ReshapeReport* report = nullptr);
// ReshapeTemplate and ReshapeUtf8Template with the payload as the service
// call's runtime holds its text (wchar_t), made in one pass from the dump.
bool ReshapeTemplateForCall(const WideChar* templateText, WcharText* payload);
bool ReshapeUtf8TemplateForCall(const char* utf8, size_t size, WcharText* payload);
