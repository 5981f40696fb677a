// Composes the HTTP request that carries a TemplateConfig command to the agent,
// with the template as a MIME attachment after the SOAP envelope.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ComposeOptions {
  std::string templateBytes;
  // none, 7bit, 8bit, binary, quoted-printable or base64.
  std::string encoding = "base64";
  bool haveScheduleId = false;
  std::string scheduleId;
  bool haveEndpoint = false;
  std::string endpoint;
  // --attr KEY=VALUE in the order given; each replaces a default of that key.
  std::vector<std::pair<std::string, std::string>> extraAttributes;
  bool attachment = true;
  // Request line and Host header.
  std::string path = "/";
  std::string host = "127.0.0.1";
};

bool IsKnownEncoding(const std::string& encoding);

// The command's attributes in the order they go on the wire.
std::vector<std::pair<std::string, std::string>> CommandAttributes(const ComposeOptions& options);

// The whole request: request line, headers with Content-Length, body. False
// with `error` set when a text cannot be carried in XML.
bool ComposeRequest(const ComposeOptions& options, std::string* request, std::string* error);

// As a MIME producer writes them: base64 in lines of 76 characters joined by
// CRLF; quoted-printable with "=\r\n" soft breaks, keeping each line within 76
// characters, CRLF pairs as hard breaks and every other byte that is not
// printable ASCII (or is "=", or trailing blank) escaped as "=XX".
std::string EncodeBase64(const std::string& bytes);
std::string EncodeQuotedPrintable(const std::string& bytes);

// XML character data (text or attribute value); false when `text` holds a
// character XML 1.0 cannot carry.
bool EscapeXml(const std::string& text, std::string* out);
