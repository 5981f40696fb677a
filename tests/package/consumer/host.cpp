// consumer-host ENDPOINT TEMPLATE: loads the installed plug-in and hands it a
// TemplateConfig command with TEMPLATE as its base64 attachment, the way an
// agent host does. Prints "result: N" (or "result: none") and the version.
#include <dlfcn.h>
#include <stdsoap2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include <quorvil/host_interface.h>
#include <quorvil/version.h>

// The gSOAP runtime looks the program's namespace table up by name.
struct Namespace namespaces[] = {{nullptr, nullptr, nullptr, nullptr}};

namespace {

WideString Widen(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

// The AttributeSource base follows HostCommand, so it begins right after
// HostCommand's table pointer, where the plug-in looks for it.
class Command final : public HostCommand,
                      public AttributeSource,
                      public CommandContext,
                      public CommandRequest {
 public:
  Command(struct soap* soap, AttributeMap attributes, WideString text)
      : soap_(soap), attributes_(std::move(attributes)), text_(std::move(text)) {}

  void CommandSlot1() override { std::abort(); }
  void GetName(WideString& name) override { name = WIDE("TemplateConfig"); }
  void CommandSlot3() override { std::abort(); }
  void CommandSlot4() override { std::abort(); }
  CommandContext* GetContext() override { return this; }
  void FillAttributes(AttributeMap& attributes) override { attributes = attributes_; }

  CommandRequest* GetRequest() override { return this; }
  void ReadData(unsigned char* buffer, int32_t* size) override {
    const size_t bytes = static_cast<size_t>(GetDataSize());
    if (buffer != nullptr && size != nullptr && static_cast<size_t>(*size) >= bytes) {
      std::memcpy(buffer, text_.c_str(), bytes);
    }
  }
  void SetResult(const void* data, int32_t* size) override {
    if (data == nullptr || size == nullptr || *size != static_cast<int32_t>(sizeof result)) return;
    std::memcpy(&result, data, sizeof result);
    hasResult = true;
  }

  void RequestSlot1() override { std::abort(); }
  void RequestSlot2() override { std::abort(); }
  void RequestSlot3() override { std::abort(); }
  void RequestSlot4() override { std::abort(); }
  void RequestSlot5() override { std::abort(); }
  struct soap* GetSoap() override { return soap_; }
  void RequestSlot7() override { std::abort(); }
  struct soap* GetReceivedSoap() override { return soap_; }
  void RequestSlot9() override { std::abort(); }
  void RequestSlot10() override { std::abort(); }
  void RequestSlot11() override { std::abort(); }
  int32_t GetDataSize() override {
    return static_cast<int32_t>((text_.size() + 1) * sizeof(WideChar));
  }

  int32_t result = 0;
  bool hasResult = false;

 private:
  struct soap* soap_;
  AttributeMap attributes_;
  WideString text_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: consumer-host ENDPOINT TEMPLATE\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  const std::string templateBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "consumer-host: cannot read %s\n", argv[2]);
    return 1;
  }

  void* plugin = dlopen(QUORVIL_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  if (plugin == nullptr) {
    std::fprintf(stderr, "consumer-host: %s\n", dlerror());
    return 1;
  }
  const auto postCommand = reinterpret_cast<QuorvilPostCommand>(dlsym(plugin, "PostCommand"));
  const auto initModule = reinterpret_cast<QuorvilEntryPoint>(dlsym(plugin, "InitModule"));
  if (postCommand == nullptr || initModule == nullptr) {
    std::fprintf(stderr, "consumer-host: %s lacks its entry points\n", QUORVIL_PLUGIN);
    return 1;
  }
  initModule();

  // As received: the envelope first, then the template, base64-encoded.
  struct soap* soap = soap_new();
  soap_multipart envelope{};
  soap_multipart attachment{};
  attachment.ptr = soap_s2base64(soap, reinterpret_cast<const unsigned char*>(templateBytes.data()),
                                 nullptr, static_cast<int>(templateBytes.size()));
  attachment.size = std::strlen(attachment.ptr);
  attachment.encoding = SOAP_MIME_BASE64;
  envelope.next = &attachment;
  soap->mime.list = &envelope;

  AttributeMap attributes;
  attributes[WIDE("Modified")] = WIDE("true");
  attributes[WIDE("Attachment")] = WIDE("true");
  attributes[WIDE("EndPoint")] = Widen(argv[1]);
  Command command(soap, attributes,
                  WIDE("<TemplateConfig><ScheduleId>42</ScheduleId></TemplateConfig>"));
  const int answer = postCommand(&command);

  soap->mime.list = nullptr;
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
  dlclose(plugin);

  std::printf("version: %s\n", QUORVIL_VERSION);
  if (command.hasResult) {
    std::printf("result: %d\n", static_cast<int>(command.result));
  } else {
    std::printf("result: none\n");
  }
  return answer;
}
