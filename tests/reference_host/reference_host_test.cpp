// A reference agent host, written from the command objects' slot tables
// alone: its own declarations of the four interfaces, every slot the plug-in
// must not call aborting, the plug-in loaded from the build as an agent loads
// it, and the process's signal dispositions left as they are. It drives
// TemplateConfig commands end to end against a local service on
// 127.0.0.1:8000 and a status server it starts.
#include <stdsoap2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/standin/shared_library.h"
#include "tests/common/devconf_peer.h"
#include "tests/reference_host/host_system.h"
#include "tests/service/hostile_peer.h"
#include "tests/common/test_support.h"

// The shared runtime calls back into a program's generated fault code and
// looks up its namespace table; these references keep both in the program.
[[maybe_unused]] int (*const kFaultCode)(struct soap*) = &soap_putfault;
[[maybe_unused]] struct Namespace* const kNamespaces = namespaces;

// --- the interfaces, as the host declares them -----------------------------
// At namespace scope, as a host declares them: the type names are part of
// what a checking runtime compares across the two binaries.

// UTF-16 text in the platform's 16-bit character type.
using Unit = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;
using Text = std::basic_string<Unit>;
using AttributeMap = std::map<Text, Text>;

class CommandRequest;
class CommandContext;

class AttributeSource {
 public:
  virtual void FillAttributes(AttributeMap& attributes) = 0;  // slot 1

 protected:
  ~AttributeSource() = default;
};

class HostCommand {
 public:
  virtual void Slot1() { std::abort(); }
  virtual void GetName(Text& name) = 0;  // slot 2
  virtual void Slot3() { std::abort(); }
  virtual void Slot4() { std::abort(); }
  virtual CommandContext* GetContext() = 0;  // slot 5

 protected:
  ~HostCommand() = default;
};

class CommandContext {
 public:
  virtual CommandRequest* GetRequest() = 0;                      // slot 1
  virtual void ReadData(unsigned char* buffer, int32_t* size) = 0;  // slot 2
  virtual void SetResult(const void* data, int32_t* size) = 0;      // slot 3

 protected:
  ~CommandContext() = default;
};

class CommandRequest {
 public:
  virtual void Slot1() { std::abort(); }
  virtual void Slot2() { std::abort(); }
  virtual void Slot3() { std::abort(); }
  virtual void Slot4() { std::abort(); }
  virtual void Slot5() { std::abort(); }
  virtual struct soap* GetSoap() = 0;  // slot 6
  virtual void Slot7() { std::abort(); }
  virtual struct soap* GetReceivedSoap() = 0;  // slot 8
  virtual void Slot9() { std::abort(); }
  virtual void Slot10() { std::abort(); }
  virtual void Slot11() { std::abort(); }
  virtual int32_t GetDataSize() = 0;  // slot 12

 protected:
  ~CommandRequest() = default;
};

namespace {

// --- one command ------------------------------------------------------------

Text Wide(const std::string& ascii) { return Text(ascii.begin(), ascii.end()); }

struct Part {
  std::string bytes;
  soap_mime_encoding encoding;
};

class Command;

class Attributes final : public AttributeSource {
 public:
  explicit Attributes(Command& command) : command_(command) {}
  void FillAttributes(AttributeMap& attributes) override;

 private:
  Command& command_;
};

class Context final : public CommandContext, public CommandRequest {
 public:
  explicit Context(Command& command) : command_(command) {}
  CommandRequest* GetRequest() override;
  void ReadData(unsigned char* buffer, int32_t* size) override;
  void SetResult(const void* data, int32_t* size) override;
  struct soap* GetSoap() override;
  struct soap* GetReceivedSoap() override;
  int32_t GetDataSize() override;

 private:
  Command& command_;
};

// The command object: its AttributeSource member comes first, right after
// the table pointer, which is where this host's declaration puts it.
class Command final : public HostCommand {
  Attributes attributeSource_{*this};

 public:
  Command(std::string name, std::vector<std::pair<std::string, std::string>> attributes,
          std::vector<Part> parts, std::string text)
      : name_(std::move(name)), attributes_(std::move(attributes)), text_(Wide(text)) {
    allocation_ = soap_new();
    received_ = soap_new();
    // The received message's parts, as a receiving context lists them.
    soap_multipart** link = &received_->mime.list;
    for (const Part& part : parts) {
      auto* node = static_cast<soap_multipart*>(soap_malloc(received_, sizeof(soap_multipart)));
      std::memset(node, 0, sizeof *node);
      char* bytes = static_cast<char*>(soap_malloc(received_, part.bytes.size() + 1));
      std::memcpy(bytes, part.bytes.data(), part.bytes.size());
      bytes[part.bytes.size()] = '\0';
      node->ptr = bytes;
      node->size = part.bytes.size();
      node->encoding = part.encoding;
      *link = node;
      link = &node->next;
    }
  }
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;
  virtual ~Command() {
    received_->mime.list = nullptr;
    for (struct soap* soap : {allocation_, received_}) {
      soap_destroy(soap);
      soap_end(soap);
      soap_free(soap);
    }
  }

  void GetName(Text& name) override {
    calls.push_back("GetName");
    name = Wide(name_);
  }
  CommandContext* GetContext() override {
    calls.push_back("GetContext");
    return &context_;
  }

  bool AttributeSourceInPlace() const {
    return reinterpret_cast<const unsigned char*>(&attributeSource_) ==
           reinterpret_cast<const unsigned char*>(this) + sizeof(void*);
  }

  std::vector<std::string> calls;
  std::vector<int32_t> results;

 private:
  friend class Attributes;
  friend class Context;

  Context context_{*this};
  std::string name_;
  std::vector<std::pair<std::string, std::string>> attributes_;
  Text text_;
  struct soap* allocation_ = nullptr;
  struct soap* received_ = nullptr;
};

void Attributes::FillAttributes(AttributeMap& attributes) {
  command_.calls.push_back("FillAttributes");
  for (const auto& a : command_.attributes_) attributes[Wide(a.first)] = Wide(a.second);
}

CommandRequest* Context::GetRequest() {
  command_.calls.push_back("GetRequest");
  return this;
}

void Context::ReadData(unsigned char* buffer, int32_t* size) {
  command_.calls.push_back("ReadData");
  const size_t bytes = (command_.text_.size() + 1) * sizeof(Unit);
  if (*size >= 0 && static_cast<size_t>(*size) >= bytes)
    std::memcpy(buffer, command_.text_.c_str(), bytes);
}

void Context::SetResult(const void* data, int32_t* size) {
  command_.calls.push_back("SetResult");
  int32_t value = 0;
  if (*size == 4) std::memcpy(&value, data, 4);
  command_.results.push_back(*size == 4 ? value : INT32_MIN);
}

struct soap* Context::GetSoap() {
  command_.calls.push_back("GetSoap");
  return command_.allocation_;
}

struct soap* Context::GetReceivedSoap() {
  command_.calls.push_back("GetReceivedSoap");
  return command_.received_;
}

int32_t Context::GetDataSize() {
  command_.calls.push_back("GetDataSize");
  return static_cast<int32_t>((command_.text_.size() + 1) * sizeof(Unit));
}

// --- the plug-in, loaded as an agent loads it ---------------------------------

using EntryPoint = int (*)();
using PostCommandEntry = int (*)(HostCommand*);

class ReferenceHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(reference_host::BrokenPipeDispositionIsDefault())
        << "the host must start as a host does, with the default SIGPIPE disposition";
    reference_host::PrepareMachine();
    std::string error;
    library_ = platform::SharedLibrary(testing_support::PluginPath(), &error);
    ASSERT_TRUE(library_.is_loaded()) << error;
    post_ = reinterpret_cast<PostCommandEntry>(library_.Symbol("PostCommand"));
    ASSERT_NE(post_, nullptr);
  }
  static void TearDownTestSuite() {
    library_.Unload();
  }

  void SetUp() override {
    ASSERT_NE(post_, nullptr);
    ASSERT_TRUE(testing_support::LocalServicePortIsFree());
    ASSERT_TRUE(server_.running());
  }

  // Posts the command; answers the log lines it added.
  std::string Post(Command& command) {
    EXPECT_TRUE(command.AttributeSourceInPlace());
    const size_t before = testing_support::ReadFile(reference_host::PluginLogPath()).size();
    EXPECT_EQ(post_(&command), 0);
    EXPECT_TRUE(reference_host::BrokenPipeDispositionIsDefault()) << "the plug-in changed it";
    const std::string log = testing_support::ReadFile(reference_host::PluginLogPath());
    return log.size() >= before ? log.substr(before) : log;
  }

  std::vector<std::pair<std::string, std::string>> CommandAttributes(const char* modified = "true",
                                                              const char* attachment = "true") {
    return {{"Modified", modified}, {"Attachment", attachment}, {"EndPoint", server_.url("/status")}};
  }

  // The progress of the last report the status server received; empty when none.
  std::string ReportedProgress() {
    const auto requests = server_.Requests();
    if (requests.empty()) return "";
    const std::string& xIn = requests.back().xIn;
    const size_t at = xIn.find("<Progress>");
    return at == std::string::npos ? "?" : xIn.substr(at + 10, xIn.find('<', at + 10) - at - 10);
  }

  static platform::SharedLibrary library_;
  static PostCommandEntry post_;
  testing_support::DevconfPeer server_{0};
};

platform::SharedLibrary ReferenceHost::library_;
PostCommandEntry ReferenceHost::post_ = nullptr;

const char kCommandText[] = "<TemplateConfig><ScheduleId>42</ScheduleId></TemplateConfig>";
const char kEnvelope[] = "<Envelope/>";

bool EndsWithLine(const std::string& log, const std::string& message) {
  const std::string tail = message + "\r\n";
  return log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(ReferenceHost, EveryOtherEntryPointAnswersZero) {
  for (const char* name :
       {"InitModule", "UninitModule", "GetInfo", "RunTimeRoutine", "GetPluginVersion", "SetDbg"}) {
    auto entry = reinterpret_cast<EntryPoint>(library_.Symbol(name));
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(entry(), 0) << name;
  }
}

TEST_F(ReferenceHost, AttachedTemplateGoesToTheLocalServiceAndItsAnswerIsTheResult) {
  testing_support::DevconfPeer local(8000, {"--r", "7"});
  ASSERT_TRUE(local.running());
  struct soap* encoder = soap_new();
  const std::string templateText = "<Root><A ns=\"CSC\"/></Root>";
  const std::string base64 = soap_s2base64(encoder, reinterpret_cast<const unsigned char*>(templateText.data()),
                                           nullptr, static_cast<int>(templateText.size()));
  soap_end(encoder);
  soap_free(encoder);

  Command command("templateconfig", CommandAttributes(),
                  {{kEnvelope, SOAP_MIME_NONE}, {base64, SOAP_MIME_BASE64}}, kCommandText);
  Post(command);
  EXPECT_EQ(command.calls,
            (std::vector<std::string>{"GetName", "FillAttributes", "GetContext", "GetRequest",
                                      "GetDataSize", "ReadData", "GetRequest", "GetSoap",
                                      "GetRequest", "GetReceivedSoap", "SetResult"}));
  EXPECT_EQ(command.results, std::vector<int32_t>{7});
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_NE(delivered[0].xIn.find("<CSCTemplateConfig"), std::string::npos) << delivered[0].xIn;
  EXPECT_EQ(ReportedProgress(), "100");
  EXPECT_NE(server_.Requests().back().xIn.find("<ScheduleId>42</ScheduleId>"), std::string::npos);
}

TEST_F(ReferenceHost, EachFailureOfTheCommandEndsAsTheHostIsPromised) {
  const struct {
    const char* name;
    std::string command;
    const char* modified;
    const char* attachment;
    std::vector<Part> parts;
    std::vector<int32_t> results;
    std::string lastLine;
    const char* progress;
  } cases[] = {
      {"other name", "Reboot", "true", "true", {}, {}, "i can not find command name! in .\\Quorvil(168)", ""},
      {"Modified True", "TemplateConfig", "True", "true", {}, {}, "i can not find modified! in .\\Quorvil(163)", ""},
      {"Attachment TRUE", "TemplateConfig", "true", "TRUE", {}, {2},
       "i can not find attachment attributes! in .\\Quorvil(156)", ""},
      {"no part", "TemplateConfig", "true", "true", {}, {0}, "i can not find attachment! in .\\Quorvil(151)", "-2"},
      {"envelope only", "TemplateConfig", "true", "true", {{kEnvelope, SOAP_MIME_NONE}}, {0},
       "i can not find attachment! in .\\Quorvil(145)", "-2"},
  };
  for (const auto& c : cases) {
    const size_t reportsBefore = server_.Requests().size();
    Command command(c.command, CommandAttributes(c.modified, c.attachment), c.parts, kCommandText);
    const std::string log = Post(command);
    EXPECT_EQ(command.results, c.results) << c.name;
    EXPECT_TRUE(EndsWithLine(log, c.lastLine)) << c.name << "\n" << log;
    EXPECT_EQ(std::count(command.calls.begin(), command.calls.end(), "FillAttributes"), 1) << c.name;
    EXPECT_EQ(std::count(command.calls.begin(), command.calls.end(), "GetSoap"), 1) << c.name;
    if (*c.progress != 0) {
      EXPECT_EQ(server_.Requests().size(), reportsBefore + 1) << c.name;
      EXPECT_EQ(ReportedProgress(), c.progress) << c.name;
    } else {
      EXPECT_EQ(server_.Requests().size(), reportsBefore) << c.name;
    }
  }
}

// The local service closes on a request of several megabytes while it is
// still being written; the host keeps running, gets its result and the
// server its report.
TEST_F(ReferenceHost, LocalServiceClosingEarlyOnALargeTemplateEndsTheCommandNotTheHost) {
  service_test::HostilePeer local(service_test::Hostility::kCloseEarly, 8000);
  std::string templateText = "<Root><A ns=\"CSC\">";
  templateText += std::string(4 * 1024 * 1024, 'x');
  templateText += "</A></Root>";
  Command command("TemplateConfig", CommandAttributes(),
                  {{kEnvelope, SOAP_MIME_NONE}, {templateText, SOAP_MIME_8BIT}}, kCommandText);
  Post(command);
  // The template did not go out whole, so no r came: the command answers -2.
  EXPECT_EQ(command.results, std::vector<int32_t>{-2});
  EXPECT_GE(local.RequestsRead(), 1u);
  EXPECT_EQ(ReportedProgress(), "100");
}

}  // namespace
