#include "plugin/quorvil.h"

#include <stdsoap2.h>

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/utf.h"
#include "plugin/template_op.h"
#include "support/err_obj.h"
#include "support/log_module.h"
#include "xmlconfig/xml_config.h"
#include "xmlconfig/xml_encoding.h"

namespace {

constexpr const WideChar* kSource = WIDE(".\\Quorvil");

// Transfer encodings as the runtime numbers them in soap_multipart.
constexpr int kQuotedPrintable = 4;
constexpr int kBase64 = 5;

// The command text as the host wrote it: read up to the first zero unit
// within the bytes it was given, whatever their count.
WideString CommandText(const unsigned char* buffer, int32_t size) {
  WideString text;
  if (buffer == nullptr || size < 2) return text;
  const size_t units = static_cast<size_t>(size) / 2;
  text.resize(units);
  std::memcpy(&text[0], buffer, units * sizeof(WideChar));
  const size_t nul = text.find(WIDE('\0'));
  if (nul != WideString::npos) text.resize(nul);
  return text;
}

bool EqualsIgnoringCase(const WideString& a, const WideChar* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    WideChar x = a[i], y = b[i];
    if (x >= WIDE('A') && x <= WIDE('Z')) x = static_cast<WideChar>(x + 32);
    if (y >= WIDE('A') && y <= WIDE('Z')) y = static_cast<WideChar>(y + 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

bool IsExactlyTrue(const AttributeMap& attributes, const WideChar* key) {
  const auto it = attributes.find(key);
  return it != attributes.end() && it->second == WIDE("true");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A part the plug-in can read: bytes present and a size the 32-bit counts of
// the decoders can hold.
bool Usable(const struct soap_multipart* part) {
  return part != nullptr && part->ptr != nullptr &&
         part->size <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

// The template's bytes, with the transfer encoding undone.
struct Decoded {
  const char* bytes = nullptr;
  size_t size = 0;
};

Decoded DecodePart(struct soap* allocation, const struct soap_multipart* part) {
  const char* decoded = nullptr;
  int32_t decodedSize = 0;
  const int32_t size = static_cast<int32_t>(part->size);
  if (part->encoding == kBase64) {
    if (allocation != nullptr) {
      // The decoder marks the context with an error when the text is not
      // base64; the context is the host's, so it is left as it was found.
      const int error = allocation->error;
      int n = 0;
      decoded = soap_base642s(allocation, part->ptr, nullptr, part->size, &n);
      allocation->error = error;
      decodedSize = decoded != nullptr ? n : 0;
    }
  } else if (part->encoding == kQuotedPrintable) {
    mainLog.Print(WIDE("before decoder"));
    decoded = DecodeQuotedPrintable(part->ptr, allocation, size, &decodedSize);
  } else {
    mainLog.Print(WIDE("not base64 encoding value:%d "), static_cast<int>(part->encoding));
    decoded = part->ptr;
    decodedSize = size;
  }
  mainLog.Print(WIDE("yes,attachment not null in%s(%d)"), kSource, 119);
  mainLog.Print(WIDE("yes,attachment not null in%s(%d)"), kSource, 133);
  Decoded result;
  if (decoded != nullptr && decodedSize > 0) {
    result.bytes = decoded;
    result.size = static_cast<size_t>(decodedSize);
  }
  return result;
}

// Dispatches the decoded template. Bytes that are valid UTF-8 without a zero
// byte are the very text their UTF-16 form would be, and go as they are;
// only others are made into UTF-16 text (XmlTextFromBytes).
int32_t Dispatch(const WideString& endpoint, const Decoded& decoded, const WideChar* scheduleId) {
  if (decoded.size == 0) return DispatchUtf8Template(endpoint, "", 0, scheduleId);
  if (std::memchr(decoded.bytes, 0, decoded.size) == nullptr &&
      platform::IsUtf8(decoded.bytes, decoded.size)) {
    return DispatchUtf8Template(endpoint, decoded.bytes, decoded.size, scheduleId);
  }
  const WideString text = XmlTextFromBytes(decoded.bytes, decoded.size);
  return DispatchTemplate(endpoint, text.c_str(), scheduleId);
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

void HandleCommand(HostCommand* command) {
  platform::SetFaultTranslator(TranslateStructuredException);

  WideString name;
  command->GetName(name);
  AttributeMap attributes;
  AttributeSourceOf(*command).FillAttributes(attributes);
  CommandContext* context = command->GetContext();
  const int32_t dataSize = context->GetRequest()->GetDataSize();

  // Two spare zero bytes past what the host is told: a text without its
  // terminator still ends inside the buffer. A size that cannot be had reads
  // as an empty command text.
  const size_t bytes = dataSize > 0 ? static_cast<size_t>(dataSize) : 0;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bytes + 2]());
  int32_t size = dataSize;
  if (buffer != nullptr) context->ReadData(buffer.get(), &size);
  const WideString text = buffer != nullptr ? CommandText(buffer.get(), dataSize) : WideString();

  struct soap* allocation = context->GetRequest()->GetSoap();

  mainLog.Print(WIDE("TemplateConfig----wsxml = %s"), text.c_str());
  mainLog.Print(WIDE("TemplateConfig----name = %s"), name.c_str());
  if (!EqualsIgnoringCase(name, WIDE("TemplateConfig"))) {
    mainLog.Print(WIDE("i can not find command name! in %s(%d)"), kSource, 168);
    return;
  }
  if (!IsExactlyTrue(attributes, WIDE("Modified"))) {
    mainLog.Print(WIDE("i can not find modified! in %s(%d)"), kSource, 163);
    return;
  }

  int32_t result = 0;
  if (!IsExactlyTrue(attributes, WIDE("Attachment"))) {
    mainLog.Print(WIDE("i can not find attachment attributes! in %s(%d)"), kSource, 156);
    result = 2;
  } else {
    struct soap* received = context->GetRequest()->GetReceivedSoap();
    const struct soap_multipart* first = received != nullptr ? received->mime.list : nullptr;
    if (first == nullptr) {
      DispatchTemplate(attributes[WIDE("EndPoint")], nullptr, nullptr);
      mainLog.Print(WIDE("i can not find attachment! in %s(%d)"), kSource, 151);
    } else {
      mainLog.Print(WIDE("yes,attachment not null in%s(%d)"), kSource, 96);
      const struct soap_multipart* part = first->next;
      if (!Usable(part)) {
        DispatchTemplate(attributes[WIDE("EndPoint")], nullptr, nullptr);
        mainLog.Print(WIDE("i can not find attachment! in %s(%d)"), kSource, 145);
      } else {
        mainLog.Print(WIDE("yes,attachment not null in%s(%d)"), kSource, 101);
        const Decoded decoded = DecodePart(allocation, part);
        WideString scheduleId;
        {
          CXmlConfig config(text);
          config.GetString(WIDE("/TemplateConfig/ScheduleId"), scheduleId);
        }
        result = Dispatch(attributes[WIDE("EndPoint")], decoded, scheduleId.c_str());
      }
    }
  }
  int32_t resultSize = sizeof result;
  context->SetResult(&result, &resultSize);
}
