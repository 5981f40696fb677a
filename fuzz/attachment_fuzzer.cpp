// The attachment path of a TemplateConfig command on a real gSOAP context,
// for every transfer encoding, with the service call replaced: no read past
// the part, the host's context keeps its error state, and a part that does
// not decode gives an empty template.
#include <stdsoap2.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "hosts/agent/host_objects.h"
#include "plugin/quorvil.h"
#include "plugin/template_op.h"
#include "service/call_set.h"
#include "tests/plugin/wchar_payload.h"

namespace {

std::vector<std::string> g_calls;  // endpoint of every Set the command made

class FuzzHost final : public HostObjects {
 public:
  FuzzHost() = default;
  virtual ~FuzzHost() = default;
  void GetName(WideString& name) override { name = WIDE("TemplateConfig"); }
  CommandContext* GetContext() override { return this; }
  void FillAttributes(AttributeMap& map) override {
    map[WIDE("Modified")] = WIDE("true");
    map[WIDE("Attachment")] = WIDE("true");
    map[WIDE("EndPoint")] = WIDE("http://127.0.0.1:9/status");
  }
  CommandRequest* GetRequest() override { return this; }
  void ReadData(unsigned char* buffer, int32_t* size) override {
    std::memcpy(buffer, kText, std::min<size_t>(sizeof kText, static_cast<size_t>(*size)));
  }
  void SetResult(const void* data, int32_t*) override { std::memcpy(&result, data, 4); }
  struct soap* GetSoap() override { return soap; }
  struct soap* GetReceivedSoap() override { return soap; }
  int32_t GetDataSize() override { return sizeof kText; }

  static constexpr WideChar kText[] = WIDE("<TemplateConfig><ScheduleId>9</ScheduleId></TemplateConfig>");
  struct soap* soap = nullptr;
  int32_t result = 12345;
};

}  // namespace

int CallSet(const char* endpoint, const WideChar* payload, int32_t* result) {
  g_calls.emplace_back(endpoint);
  // Whatever the template's bytes and declared encoding, the text that went
  // out is well-formed UTF-16.
  for (size_t i = 0; payload[i] != 0; ++i) {
    const bool high = payload[i] >= 0xD800 && payload[i] <= 0xDBFF;
    const bool low = payload[i] >= 0xDC00 && payload[i] <= 0xDFFF;
    FUZZ_CHECK(!low);
    if (high) FUZZ_CHECK(payload[++i] >= 0xDC00 && payload[i] <= 0xDFFF);
  }
  *result = 5;
  return 0;
}

int CallSetWchar(const char* endpoint, const wchar_t* payload, int32_t* result) {
  // Code points only: no surrogate, nothing past U+10FFFF.
  for (size_t i = 0; payload[i] != 0; ++i) {
    const auto c = static_cast<char32_t>(payload[i]);
    FUZZ_CHECK(c <= 0x10FFFF && (sizeof(wchar_t) == 2 || c < 0xD800 || c > 0xDFFF));
  }
  return CallSet(endpoint, Utf16Units(payload).c_str(), result);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int encoding = data[0] % 8;
  // The runtime ends every part with a zero byte; the part is nothing more.
  std::unique_ptr<char[]> bytes(new char[size]);
  std::memcpy(bytes.get(), data + 1, size - 1);
  bytes[size - 1] = '\0';

  FuzzHost host;
  host.soap = soap_new();
  host.soap->error = 7;  // whatever the host had, it keeps
  struct soap_multipart envelope {};
  struct soap_multipart part {};
  envelope.next = &part;
  part.ptr = bytes.get();
  part.size = size - 1;
  part.encoding = static_cast<enum soap_mime_encoding>(encoding);
  host.soap->mime.list = &envelope;

  bool decodes = true;
  if (encoding == 5) {
    struct soap* probe = soap_new();
    int n = 0;
    const char* decoded = soap_base642s(probe, bytes.get(), nullptr, part.size, &n);
    decodes = decoded != nullptr && n > 0 && decoded[0] != '\0';
    soap_end(probe);
    soap_free(probe);
  }

  g_calls.clear();
  HandleCommand(&host);
  FUZZ_CHECK(host.soap->error == 7);
  FUZZ_CHECK(!g_calls.empty() && g_calls.back() == "http://127.0.0.1:9/status");
  if (!decodes) {
    // Nothing went to the local service: only the -2 report.
    FUZZ_CHECK(g_calls.size() == 1 && host.result == kNotDelivered);
  } else {
    FUZZ_CHECK(host.result == 5 || host.result == kNotDelivered);
  }
  host.soap->mime.list = nullptr;
  soap_end(host.soap);
  soap_free(host.soap);
  return 0;
}
