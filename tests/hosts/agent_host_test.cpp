// The agent host stand-in as a management server and a plug-in see it: the
// requests compose writes, what the probe plug-in reads through the host's
// objects, the answers of run, serve and send, and how faults end a request.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <sstream>

#include "hosts/agent/agent_service.h"
#include "hosts/agent/compose.h"
#include "hosts/agent/transport.h"
#include "platform/files.h"
#include "platform/standin/loopback_socket.h"
#include "support/err_obj.h"
#include "tests/hosts/serving_agent.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"
#include "text/utf.h"

namespace {

using agent_test::ServingAgent;
using testing_support::AgentPath;
using testing_support::BuildDir;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kLibrarySuffix = testing_support::LibrarySuffix();

std::string Probe() { return BuildDir() + "/tests/hosts/libquorvil_probe_plugin" + kLibrarySuffix; }
std::string IncompleteProbe() {
  return BuildDir() + "/tests/hosts/libquorvil_probe_plugin_incomplete" + kLibrarySuffix;
}

std::string Utf8(const WideString& text) { return unicode::Utf16ToUtf8(text.data(), text.size()); }

// The agent's messages with LF line ends, as on Linux: on Windows standard
// error is written in text mode.
testing_support::ProcessResult RunProcess(const std::vector<std::string>& argv,
                                          const std::map<std::string, std::string>& env = {},
                                          const std::string& input = std::string()) {
  testing_support::ProcessResult r = testing_support::RunProcess(argv, env, input);
  r.err = testing_support::ProgramText(r.err);
  return r;
}

struct Part {
  int encoding = -1;
  size_t size = 0;
  std::string bytes;
  bool zeroEnded = false;
};

struct Record {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  int dataSize = 0;
  std::string data;
  bool terminated = false;
  bool sameRequest = false;
  bool allocates = false;
  std::vector<Part> parts;
};

std::string Unhex(const std::string& hex) {
  if (hex == "-") return std::string();
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::vector<Record> ReadRecords(const std::string& path) {
  std::vector<Record> records;
  std::istringstream in(ReadFile(path));
  for (std::string key; in >> key;) {
    std::string a, b, c, d;
    if (key == "command") {
      records.emplace_back();
      continue;
    }
    Record& r = records.back();
    if (key == "name") {
      in >> a;
      r.name = Unhex(a);
    } else if (key == "attr") {
      in >> a >> b;
      r.attributes.emplace_back(Unhex(a), Unhex(b));
    } else if (key == "datasize") {
      in >> r.dataSize;
    } else if (key == "data") {
      in >> a;
      r.data = Unhex(a);
    } else if (key == "terminated") {
      in >> a;
      r.terminated = a == "1";
    } else if (key == "samerequest") {
      in >> a;
      r.sameRequest = a == "1";
    } else if (key == "allocates") {
      in >> a;
      r.allocates = a == "1";
    } else if (key == "parts") {
      in >> a;
    } else if (key == "part") {
      Part p;
      in >> p.encoding >> p.size >> c >> d;
      p.bytes = Unhex(c);
      p.zeroEnded = d == "1";
      r.parts.push_back(p);
    }
  }
  return records;
}

// Decoders written from the MIME rules, independent of the host's encoders.
std::string DecodeBase64(const std::string& text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

std::string DecodeQuotedPrintable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "=\r\n") == 0) {
      i += 2;
    } else if (text[i] == '=') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> CrlfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

// The template part's content exactly as compose put it on the wire.
std::string TemplateContent(const std::string& request) {
  const std::string head = "Content-ID: <template>\r\n\r\n";
  const size_t begin = request.find(head);
  if (begin == std::string::npos) return "(no template part)";
  const size_t from = begin + head.size();
  const size_t end = request.rfind("\r\n--");
  return request.substr(from, end - from);
}

// A template with what each encoding must carry: "=", CRLF and bare LF line
// ends, trailing blanks, a line beyond 76 characters and UTF-8 text.
const std::string kTemplate =
    "<Root><A ns=\"CSC\" note=\"x=y\"/>  \r\n<B>caf\xC3\xA9</B>\n<C>" + std::string(100, 'c') +
    "</C>\t\r\n</Root>\r\n";

class AgentTest : public ::testing::Test {
 protected:
  std::string TemplateFile(const std::string& bytes = kTemplate) {
    const std::string path = dir.path() + "/template.xml";
    WriteFile(path, bytes);
    return path;
  }
  std::string Record() const { return dir.path() + "/record"; }
  std::map<std::string, std::string> Env(std::map<std::string, std::string> extra = {}) const {
    extra["QUORVIL_PROBE_RECORD"] = Record();
    extra["QUORVIL_ROOT"] = dir.path() + "/root";
    return extra;
  }
  std::string Compose(std::vector<std::string> options) {
    options.insert(options.begin(), {AgentPath(), "compose"});
    auto r = RunProcess(options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
  testing_support::ProcessResult Run(const std::string& request,
                                     std::map<std::string, std::string> extra = {}) {
    return RunProcess({AgentPath(), "--plugin", Probe(), "run", "-"}, Env(std::move(extra)), request);
  }

  TempDir dir;
};

TEST_F(AgentTest, EveryEncodingReachesThePluginAsTheSecondPartWithItsExactBytes) {
  const std::string file = TemplateFile();
  const std::vector<std::pair<std::string, int>> encodings = {
      {"none", 0}, {"7bit", 1}, {"8bit", 2}, {"binary", 3}, {"quoted-printable", 4}, {"base64", 5}};
  for (const auto& [encoding, value] : encodings) {
    SCOPED_TRACE(encoding);
    std::remove(Record().c_str());
    const std::string request = Compose({"--template", file, "--encoding", encoding});
    auto r = Run(request, {{"QUORVIL_PROBE_RESULT", "7"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "result: 7\n");
    const auto records = ReadRecords(Record());
    ASSERT_EQ(records.size(), 1u);
    const auto& parts = records[0].parts;
    ASSERT_EQ(parts.size(), 2u);
    // The envelope part heads the list; the runtime keeps in it only what
    // followed the envelope's end tag, the line break before the boundary.
    EXPECT_EQ(parts[0].encoding, 2);
    EXPECT_EQ(parts[0].bytes, "\r\n");
    EXPECT_EQ(parts[1].encoding, value);
    EXPECT_EQ(parts[1].size, parts[1].bytes.size());
    EXPECT_TRUE(parts[1].zeroEnded);
    const std::string content = TemplateContent(request);
    EXPECT_EQ(parts[1].bytes, content);
    if (encoding == "base64") {
      EXPECT_EQ(DecodeBase64(content), kTemplate);
      const auto lines = CrlfLines(content);
      ASSERT_GT(lines.size(), 1u);
      for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 76u);
      EXPECT_EQ(content.find('\n'), lines[0].size() + 1);
    } else if (encoding == "quoted-printable") {
      EXPECT_EQ(DecodeQuotedPrintable(content), kTemplate);
      EXPECT_NE(content.find("ns=3D\"CSC\""), std::string::npos);
      EXPECT_NE(content.find("=\r\n"), std::string::npos);
      EXPECT_NE(content.find("=20\r\n"), std::string::npos) << "trailing blank before CRLF";
      EXPECT_NE(content.find("caf=C3=A9"), std::string::npos);
      for (const std::string& line : CrlfLines(content)) EXPECT_LE(line.size(), 76u) << line;
    } else {
      EXPECT_EQ(content, kTemplate);
    }
  }
}

TEST_F(AgentTest, EnvelopeNamedByTheStartParameterIsMovedToTheHeadOfTheList) {
  std::string request = Compose({"--template", TemplateFile(), "--encoding", "8bit"});
  const std::string boundary = "--==quorvil-command-boundary";
  const size_t body = request.find("\r\n\r\n") + 4;
  const size_t envelope = request.find(boundary, body);
  const size_t attachment = request.find(boundary, envelope + 1);
  const size_t close = request.rfind(boundary);
  // The template first, then the envelope that start= names.
  std::string swapped = request.substr(attachment, close - attachment) +
                        request.substr(envelope, attachment - envelope) + request.substr(close);
  std::string head = request.substr(0, body);
  head.replace(head.find("boundary="), 9, "start=\"<command>\"; boundary=");
  auto r = Run(testing_support::MendContentLength(head + swapped));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto records = ReadRecords(Record());
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].parts.size(), 2u);
  EXPECT_EQ(records[0].parts[0].bytes, "\r\n");
  EXPECT_EQ(records[0].parts[1].bytes, kTemplate);
}

TEST(AgentCompose, EncodingsAreWrittenAsAMimeProducerWritesThem) {
  EXPECT_EQ(EncodeQuotedPrintable("a=b"), "a=3Db");
  EXPECT_EQ(EncodeQuotedPrintable("a \r\nb\t"), "a=20\r\nb=09");
  EXPECT_EQ(EncodeQuotedPrintable("x\ny\rz"), "x=0Ay=0Dz");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(80, 'q')),
            std::string(75, 'q') + "=\r\n" + std::string(5, 'q'));
  // An escape is never split by a soft break.
  EXPECT_EQ(EncodeQuotedPrintable(std::string(74, 'q') + "="),
            std::string(74, 'q') + "=\r\n=3D");
  EXPECT_EQ(EncodeBase64("ab"), "YWI=");
  std::string line;
  for (int i = 0; i < 19; ++i) line += "enp6";
  EXPECT_EQ(EncodeBase64(std::string(57, 'z')), line);
  EXPECT_EQ(EncodeBase64(std::string(58, 'z')), line + "\r\neg==");
}

TEST_F(AgentTest, NameTextAndDefaultAttributesReachThePluginThroughTheHostObjects) {
  const std::string file = TemplateFile();
  auto r = Run(Compose({"--template", file, "--schedule-id", "id<1>&2", "--endpoint",
                        "http://127.0.0.1:9/status"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Run(Compose({"--template", file}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto records = ReadRecords(Record());
  ASSERT_EQ(records.size(), 2u);

  const std::string text = "<TemplateConfig><ScheduleId>id&lt;1&gt;&amp;2</ScheduleId></TemplateConfig>";
  EXPECT_EQ(records[0].name, "TemplateConfig");
  EXPECT_EQ(records[0].data, text);
  EXPECT_EQ(records[0].dataSize, static_cast<int>((text.size() + 1) * 2));
  EXPECT_TRUE(records[0].terminated);
  EXPECT_TRUE(records[0].sameRequest);
  EXPECT_TRUE(records[0].allocates);
  EXPECT_EQ(records[0].attributes,
            (std::vector<std::pair<std::string, std::string>>{
                {"Attachment", "true"}, {"EndPoint", "http://127.0.0.1:9/status"}, {"Modified", "true"}}));

  EXPECT_EQ(records[1].data, "<TemplateConfig></TemplateConfig>");
  EXPECT_EQ(records[1].attributes, (std::vector<std::pair<std::string, std::string>>{
                                       {"Attachment", "true"}, {"Modified", "true"}}));
}

TEST_F(AgentTest, AttrOptionsReplaceDefaultsInPlaceAndALaterRepeatedKeyWins) {
  const std::string request =
      Compose({"--template", TemplateFile(), "--endpoint", "http://127.0.0.1:9/", "--attr",
               "Modified=True", "--attr", "z-extra=\xE2\x82\xAC & <x>", "--attr", "Attachment=TRUE",
               "--attr", "EndPoint=", "--attr", "Modified=false"});
  // On the wire: the defaults' order, overridden in place, then new keys.
  const size_t modified = request.find("Key=\"Modified\">false<");
  const size_t attachment = request.find("Key=\"Attachment\">TRUE<");
  const size_t endpoint = request.find("Key=\"EndPoint\"><");
  const size_t extra = request.find("Key=\"z-extra\">\xE2\x82\xAC &amp; &lt;x&gt;<");
  ASSERT_NE(extra, std::string::npos) << request;
  EXPECT_LT(modified, attachment);
  EXPECT_LT(attachment, endpoint);
  EXPECT_LT(endpoint, extra);

  auto r = Run(request);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // A hand-made request repeating a key: attributes go in in message order.
  std::string repeated = Compose({"--no-attachment", "--attr", "Modified=first"});
  const std::string second = "<agent:Attribute Key=\"Modified\">second</agent:Attribute>";
  repeated.insert(repeated.find("<agent:Data>"), second);
  r = Run(testing_support::MendContentLength(repeated));
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const auto records = ReadRecords(Record());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].attributes, (std::vector<std::pair<std::string, std::string>>{
                                       {"Attachment", "TRUE"},
                                       {"EndPoint", ""},
                                       {"Modified", "false"},
                                       {"z-extra", "\xE2\x82\xAC & <x>"}}));
  EXPECT_EQ(records[1].attributes, (std::vector<std::pair<std::string, std::string>>{
                                       {"Attachment", "true"}, {"Modified", "second"}}));
}

TEST_F(AgentTest, WithoutAttachmentTheRequestIsPlainXmlAndThePluginSeesNoPart) {
  const std::string request = Compose({"--no-attachment"});
  EXPECT_NE(request.find("\r\nContent-Type: text/xml; charset=utf-8\r\n"), std::string::npos);
  EXPECT_EQ(request.find("multipart"), std::string::npos);
  auto r = Run(request, {{"QUORVIL_PROBE_RESULT", "-2"}});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "result: -2\n");
  const auto records = ReadRecords(Record());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].parts.empty());
}

TEST_F(AgentTest, ResultIsNoneWhenThePluginDoesNotCallSetResult) {
  auto r = Run(Compose({"--template", TemplateFile()}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "result: none\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadRecords(Record()).size(), 1u);
}

TEST_F(AgentTest, ErrorThePluginLeavesInTheReceivingContextIsReportedAndCleared) {
  auto r = Run(Compose({"--no-attachment"}), {{"QUORVIL_PROBE_SPOIL", "1"}, {"QUORVIL_PROBE_RESULT", "-2"}});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "result: -2\n");
  EXPECT_EQ(r.err, "quorvil-agent: the plug-in left error 4 in the receiving context\n");
}

// The HTTP request of `body`, with its Content-Length taken from `length`.
std::string HttpRequest(const std::string& body, uint64_t length) {
  return "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-Length: " +
         std::to_string(length) + "\r\n\r\n" + body;
}

std::vector<std::pair<std::string, std::string>> MalformedRequests(const std::string& good) {
  const std::string body = good.substr(good.find("\r\n\r\n") + 4);
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string b = body;
    b.replace(b.find(from), from.size(), to);
    return HttpRequest(b, b.size());
  };
  std::string garbage;
  for (int i = 0; i < 512; ++i) garbage += static_cast<char>((i * 37 + 11) & 0xFF);
  return {
      {"bad XML", replaced("</agent:Name>", "</agent:Nam>")},
      {"missing Name", replaced("<agent:Name>TemplateConfig</agent:Name>", "")},
      {"missing Data", replaced("<agent:Data>&lt;TemplateConfig&gt;&lt;/TemplateConfig&gt;</agent:Data>", "")},
      {"wrong namespace", replaced("urn:quorvil:agent-host", "urn:quorvil:other-host")},
      {"Attribute without Key", replaced("<agent:Attribute Key=\"Modified\">", "<agent:Attribute>")},
      {"unknown element", replaced("<agent:Data>", "<agent:Extra/><agent:Data>")},
      {"truncated body", HttpRequest(body.substr(0, body.size() / 2), body.size())},
      {"body cut inside its first tag", HttpRequest(body.substr(0, body.find("Envelope")), body.size())},
      {"garbage bytes", garbage},
      {"nothing at all", std::string()},
  };
}

TEST_F(AgentTest, MalformedRequestsAreRefusedWithAFaultAndNeverReachThePlugin) {
  for (const auto& [what, request] : MalformedRequests(Compose({"--no-attachment"}))) {
    SCOPED_TRACE(what);
    auto r = Run(request, {{"QUORVIL_PROBE_RESULT", "1"}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("quorvil-agent: the request was refused with a SOAP fault: "),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(FileExists(Record()));
  }
}

TEST_F(AgentTest, FaultsThrownByThePluginEndTheRequestWithAFaultNotTheHost) {
  const std::string request = Compose({"--no-attachment"});
  // On Windows the log is the machine's own C:\runtime.log: only what this
  // run adds counts.
  testing_support::ScopedRoot root(dir.path() + "/root");
  const std::string logPath = platform::NativePath("C:\\runtime.log");
  const size_t logBefore = ReadFile(logPath).size();
  auto r = Run(request, {{"QUORVIL_PROBE_THROW", "fault"}, {"QUORVIL_PROBE_RESULT", "1"}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.signal, 0);
  EXPECT_NE(r.err.find("quorvil-agent: plug-in fault 0xC0000005: EXCEPTION_ACCESS_VIOLATION\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("refused with a SOAP fault: plug-in fault 0xC0000005"), std::string::npos);
  // The host had the error object report itself on the plug-in's channel.
  EXPECT_NE(ReadFile(logPath)
                .find("[DbgPlugin]INFO:Err occur, Code:-1073741819\t\n\tEXCEPTION_ACCESS_VIOLATION", logBefore),
            std::string::npos);

  r = Run(request, {{"QUORVIL_PROBE_THROW", "errobj"}});
  EXPECT_EQ(r.exitCode, 1);
  // The system's own text for code 5 (EIO, or ERROR_ACCESS_DENIED on Windows).
  EXPECT_NE(r.err.find("plug-in fault 0x00000005: " + Utf8(SystemErrorText(5)) + "\n"),
            std::string::npos)
      << r.err;
  r = Run(request, {{"QUORVIL_PROBE_THROW", "std"}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("plug-in threw: probe gave up"), std::string::npos) << r.err;
}

TEST_F(AgentTest, PluginAndRequestThatCannotBeHadAreNamedInTheError) {
  const std::string request = dir.path() + "/request";
  WriteFile(request, Compose({"--no-attachment"}));
  auto r = RunProcess({AgentPath(), "--plugin", IncompleteProbe(), "run", request});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "quorvil-agent: plug-in " + IncompleteProbe() + " does not export RunTimeRoutine\n");
  const std::string none = dir.path() + "/none" + kLibrarySuffix;
  r = RunProcess({AgentPath(), "--plugin", none, "run", request});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.find("quorvil-agent: cannot load plug-in " + none + ": "), 0u) << r.err;
  r = RunProcess({AgentPath(), "--plugin", Probe(), "run", dir.path() + "/missing"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "quorvil-agent: cannot read the request " + dir.path() +
                       "/missing: No such file or directory\n");
  r = RunProcess({AgentPath(), "compose", "--template", dir.path() + "/missing"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("cannot read the template"), std::string::npos);
  r = RunProcess({AgentPath(), "compose", "--template", TemplateFile(), "--encoding", "uuencode"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("unknown encoding uuencode"), std::string::npos);
}

TEST_F(AgentTest, EveryCommandDescribesItselfWithHelp) {
  for (const std::string command : {"run", "serve", "compose", "send"}) {
    auto r = RunProcess({AgentPath(), command, "--help"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find("usage: quorvil-agent"), std::string::npos) << command;
    EXPECT_NE(r.out.find(" " + command), std::string::npos) << command;
  }
}

TEST(AgentAnswer, AnswerThatIsNeitherResponseNorFaultIsUnreadable) {
  EXPECT_EQ(ReadAnswer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello").kind,
            CommandAnswer::kUnreadable);
  EXPECT_EQ(ReadAnswer("").kind, CommandAnswer::kUnreadable);
}

TEST(AgentAnswer, SendTargetsOnlyLoopbackAddresses) {
  LoopbackUrl url;
  std::string error;
  ASSERT_TRUE(ParseLoopbackUrl("http://127.0.0.5:8123/agent", &url, &error)) << error;
  EXPECT_EQ(url.host, "127.0.0.5");
  EXPECT_EQ(url.port, 8123);
  EXPECT_EQ(url.path, "/agent");
  ASSERT_TRUE(ParseLoopbackUrl("http://[::1]:9", &url, &error)) << error;
  EXPECT_EQ(url.host, "::1");
  EXPECT_EQ(url.path, "/");
  ASSERT_TRUE(ParseLoopbackUrl("http://localhost:9/", &url, &error)) << error;
  EXPECT_EQ(url.host, "127.0.0.1");
  for (const char* refused : {"http://10.0.0.1:9/", "http://192.168.1.2/", "http://example.com/",
                              "https://127.0.0.1/", "http://128.0.0.1/", "http://127.0.0.1:0/",
                              "http://127.0.0.1:99999/"}) {
    EXPECT_FALSE(ParseLoopbackUrl(refused, &url, &error)) << refused;
  }
}

// An agent serving with the probe plug-in on `port` (0: the system picks).
class ProbeAgent : public ServingAgent {
 public:
  ProbeAgent(int port, const std::map<std::string, std::string>& env)
      : ServingAgent({AgentPath(), "--plugin", Probe(), "serve", "--port", std::to_string(port)},
                     env) {}
};

// Writes `bytes` to the agent, stops sending, and reads the whole answer.
std::string Exchange(int port, const std::string& bytes) {
  LoopbackUrl url;
  std::string answer, error;
  if (!ParseLoopbackUrl("http://127.0.0.1:" + std::to_string(port) + "/", &url, &error) ||
      !Exchange(url, bytes, &answer, &error)) {
    ADD_FAILURE() << error;
  }
  return answer;
}

TEST_F(AgentTest, ServeHandsEachSentCommandToThePluginOnThePortTheTestChose) {
  const int port = service_test::ClosedPort();
  ProbeAgent agent(port, Env({{"QUORVIL_PROBE_RESULT", "42"}}));
  ASSERT_EQ(agent.port(), port);
  const std::string file = TemplateFile();
  auto r = RunProcess({AgentPath(), "send", "--to", agent.url(), "--template", file, "--encoding",
                       "base64", "--schedule-id", "9"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "result: 42\n");
  r = RunProcess({AgentPath(), "send", "--to", "http://localhost:" + std::to_string(port) + "/x",
                  "--no-attachment"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "result: 42\n");
  r = RunProcess({AgentPath(), "send", "--to", "http://192.168.7.7:" + std::to_string(port) + "/",
                  "--no-attachment"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("only loopback addresses"), std::string::npos) << r.err;
  EXPECT_EQ(agent.Stop(SIGTERM), 0) << agent.stderrText();

  const auto records = ReadRecords(Record());
  ASSERT_EQ(records.size(), 2u);
  ASSERT_EQ(records[0].parts.size(), 2u);
  EXPECT_EQ(records[0].parts[1].encoding, 5);
  EXPECT_EQ(DecodeBase64(records[0].parts[1].bytes), kTemplate);
  EXPECT_EQ(records[0].data, "<TemplateConfig><ScheduleId>9</ScheduleId></TemplateConfig>");
  EXPECT_TRUE(records[1].parts.empty());
}

TEST_F(AgentTest, ServeAnswersMalformedInputWithASoapFaultAndGoesOnServing) {
  ProbeAgent agent(0, Env({{"QUORVIL_PROBE_RESULT", "3"}}));
  ASSERT_GT(agent.port(), 0);
  for (const auto& [what, request] : MalformedRequests(Compose({"--no-attachment"}))) {
    SCOPED_TRACE(what);
    const std::string answer = Exchange(agent.port(), request);
    EXPECT_EQ(answer.find("HTTP/1.1 500 "), 0u) << answer;
    EXPECT_NE(answer.find("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Client</faultcode>"),
              std::string::npos)
        << answer;
  }
  EXPECT_FALSE(FileExists(Record()));
  const std::string answer = Exchange(agent.port(), Compose({"--template", TemplateFile()}));
  EXPECT_NE(answer.find("<agent:PostCommandResponse><agent:Result>3</agent:Result>"
                        "</agent:PostCommandResponse>"),
            std::string::npos)
      << answer;
  EXPECT_EQ(ReadRecords(Record()).size(), 1u);
}

// The runtime would ask for a block of the announced length before reading
// the body; the host refuses any length above its limit first.
TEST_F(AgentTest, RequestAnnouncingMoreThanTheLimitIsRefusedWith413BeforeItsBodyIsRead) {
  ProbeAgent agent(0, Env());
  ASSERT_GT(agent.port(), 0);
  const std::string composed = Compose({"--no-attachment"});
  const std::string body = composed.substr(composed.find("\r\n\r\n") + 4);
  for (const uint64_t length : {uint64_t{AgentService::kMaxRequestBytes} + 1, uint64_t{333333333333333}}) {
    const std::string request = HttpRequest(body, length);
    const std::string why =
        "request of " + std::to_string(length) + " bytes refused: more than 268435456 bytes";
    const std::string answer = Exchange(agent.port(), request);
    EXPECT_EQ(answer.find("HTTP/1.1 413 "), 0u) << answer;
    EXPECT_NE(answer.find(why), std::string::npos) << answer;
    auto r = Run(request);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("quorvil-agent: " + why + "\n"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(FileExists(Record()));
}

TEST_F(AgentTest, ServeSurvivesAPluginFaultAndAnswersWithoutResultWhenNoneWasSet) {
  {
    ProbeAgent agent(0, Env({{"QUORVIL_PROBE_THROW", "fault"}}));
    ASSERT_GT(agent.port(), 0);
    for (int i = 0; i < 2; ++i) {
      auto r = RunProcess({AgentPath(), "send", "--to", agent.url(), "--no-attachment"});
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE(r.err.find("SOAP fault: plug-in fault 0xC0000005: EXCEPTION_ACCESS_VIOLATION"),
                std::string::npos)
          << r.err;
    }
    EXPECT_EQ(agent.Stop(SIGTERM), 0) << agent.stderrText();
  }
  ProbeAgent agent(0, Env());
  const std::string answer = Exchange(agent.port(), Compose({"--no-attachment"}));
  EXPECT_NE(answer.find("<agent:PostCommandResponse></agent:PostCommandResponse>"),
            std::string::npos)
      << answer;
  EXPECT_EQ(answer.find("Result"), std::string::npos);
}

TEST_F(AgentTest, SigtermAndSigintStopServingCleanlyAndFreeThePort) {
  if (!ServingAgent::StopsBySignal()) {
    GTEST_SKIP() << "Wine gives a process without a console no control event to stop on";
  }
  for (int signal : {SIGTERM, SIGINT}) {
    ProbeAgent agent(0, Env());
    ASSERT_GT(agent.port(), 0);
    EXPECT_EQ(agent.Stop(signal), 0);
    EXPECT_EQ(agent.stderrText(), "quorvil-agent: stopped\n");
    ProbeAgent again(agent.port(), Env());
    EXPECT_EQ(again.port(), agent.port()) << "the port stays taken";
  }
}

TEST_F(AgentTest, ServeOnATakenPortSaysSo) {
  ProbeAgent first(0, Env());
  ASSERT_GT(first.port(), 0);
  ProbeAgent second(first.port(), Env());
  EXPECT_EQ(second.port(), 0);
  EXPECT_EQ(second.Stop(SIGTERM), 1);
  EXPECT_EQ(second.stderrText(), "quorvil-agent: cannot listen on 127.0.0.1:" +
                                     std::to_string(first.port()) + ": " +
                                     platform::SocketErrorText(platform::AddressInUseError()) + "\n");
}

}  // namespace
