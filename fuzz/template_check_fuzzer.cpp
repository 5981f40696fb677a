// quorvil-template's check on arbitrary attachments in every transfer
// encoding: its verdict is the command's own (the payload ReshapeTemplate and
// ReshapeUtf8Template give for the text the command reads), a refusal has a
// reason, and the line and the JSON object are one line of valid UTF-8.
#include <libxml/xmlerror.h>
#include <stdsoap2.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "hosts/template/template_check.h"
#include "text/utf.h"

namespace {

const char* const kNames[] = {"none", "7bit", "8bit", "binary", "quoted-printable", "base64"};

void IgnoreXmlErrors(void*, const char*, ...) {}

// The payload as the command's dispatch makes it, without the reports.
bool CommandPayload(const char* bytes, size_t size, int encoding, WideString* payload) {
  struct soap* soap = soap_new();
  const DecodedTemplate decoded = DecodeTransferEncoding(soap, bytes, size, encoding);
  const TemplateText text = ReadTemplateText(decoded);
  const bool delivered = text.isWide ? ReshapeTemplate(text.wide, payload)
                                     : ReshapeUtf8Template(text.utf8, text.utf8Size, payload);
  soap_end(soap);
  soap_free(soap);
  return delivered;
}

bool OneLineOfUtf8(const std::string& text) {
  return text.find('\n') == std::string::npos && text.find('\r') == std::string::npos &&
         unicode::IsUtf8(text.data(), text.size()) && text.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xmlSetGenericErrorFunc(nullptr, IgnoreXmlErrors);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* name = kNames[data[0] % 6];
  int encoding = -1;
  FUZZ_CHECK(TransferEncodingNamed(name, &encoding));
  // A part ends with a zero byte that it does not count, as the runtime
  // gives it.
  std::unique_ptr<char[]> part(new char[size]);
  std::memcpy(part.get(), data + 1, size - 1);
  part[size - 1] = '\0';

  const TemplateCheck check = CheckTemplate(part.get(), size - 1, encoding, name);
  WideString payload;
  FUZZ_CHECK(check.delivered == CommandPayload(part.get(), size - 1, encoding, &payload));
  FUZZ_CHECK(check.payload == payload);
  FUZZ_CHECK(check.delivered == !check.payload.empty());
  FUZZ_CHECK(check.payloadBytes == unicode::Utf16ToUtf8(payload.data(), payload.size()).size());
  FUZZ_CHECK(RefusalCode(check).empty() == check.delivered);
  FUZZ_CHECK(RefusalWords(check).empty() == check.delivered);
  FUZZ_CHECK(check.reading.replacedAt.size() <= check.reading.replacements);
  FUZZ_CHECK(check.reading.bytesRead <= check.decodedSize);

  // A file name that is no UTF-8 and holds line ends still gives one line.
  const std::string file = std::string("t\n\xFF.xml");
  const std::string line = CheckLine(file, check);
  const std::string json = CheckJson(file, check);
  FUZZ_CHECK(OneLineOfUtf8(line) && OneLineOfUtf8(json));
  FUZZ_CHECK(line.find(check.delivered ? ": delivered; " : ": refused: ") != std::string::npos);
  FUZZ_CHECK(json.front() == '{' && json.back() == '}');
  for (const char c : json) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
  return 0;
}
