// quorvil-template's check: the plug-in's own reading of an attachment
// (module TemplateRead) run on a template file, and what it found in an
// administrator's words, one line or one JSON object a file.
#pragma once

#include <cstddef>
#include <string>

#include "platform/wide.h"
#include "plugin/template_read.h"
#include "xmlconfig/xml_encoding.h"

// The transfer encodings by the names quorvil-agent compose writes:
// none, 7bit, 8bit, binary, quoted-printable, base64. False when unknown.
bool TransferEncodingNamed(const std::string& name, int* encoding);

struct TemplateCheck {
  std::string transferEncoding;  // its name
  size_t size = 0;               // the attachment's bytes
  bool tooLarge = false;         // over kLargestAttachment: a terminal finds no attachment
  size_t decodedSize = 0;
  XmlTextReading reading;
  ReshapeReport reshape;
  bool delivered = false;
  WideString payload;            // the local service's xIn, when delivered
  size_t payloadBytes = 0;       // its UTF-8 size
};

// Reads `size` bytes as the attachment of a TemplateConfig command whose
// part has the transfer encoding `encoding` (a gSOAP soap_mime_encoding),
// with the command's own functions, up to the payload it would deliver.
TemplateCheck CheckTemplate(const char* bytes, size_t size, int encoding,
                            const std::string& encodingName);
// The same for an attachment too large to be read (only its size is known).
TemplateCheck CheckTooLarge(size_t size, const std::string& encodingName);

// Why it is refused: a short code for scripts (empty when delivered) and the
// reason in words.
std::string RefusalCode(const TemplateCheck& check);
std::string RefusalWords(const TemplateCheck& check);

// One line without its line end, and one JSON object; `file` as given.
std::string CheckLine(const std::string& file, const TemplateCheck& check);
std::string CheckJson(const std::string& file, const TemplateCheck& check);
// The same for a file that cannot be read, and why.
std::string UnreadableLine(const std::string& file, const std::string& why);
std::string UnreadableJson(const std::string& file, const std::string& why);
