// A host that handles commands on eight threads at once, against stand-ins
// of the local service (its fixed port 8000) and of the management server.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/machine_root.h"
#include "plugin/exports.h"
#include "support/log_module.h"
#include "support/text_conversion.h"
#include "tests/devconf_peer.h"
#include "tests/plugin/recording_host.h"
#include "tests/test_support.h"

namespace {

using testing_support::DevconfPeer;

constexpr int kThreads = 8;
constexpr int kCommandsEach = 12;
constexpr size_t kTemplateBytes = 30 * 1024;

// Transfer encodings as the runtime numbers them.
constexpr int kNone = 0;
constexpr int kQuotedPrintable = 4;
constexpr int kBase64 = 5;

std::string Template(int thread, int command) {
  const std::string mark = "t" + std::to_string(thread) + "c" + std::to_string(command);
  std::string text = "<Root><Item id=\"" + mark + "\" data=\"";
  text.append(kTemplateBytes - text.size() - 10, static_cast<char>('a' + thread));
  return text + "\"/></Root>";
}

std::string QuotedPrintable(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '=' ? std::string("=3D") : std::string(1, c);
  return out;
}

// One command through PostCommand, its template sent in `encoding`; answers
// the results the host was given.
std::vector<int32_t> Post(int thread, int command, const std::string& endpoint) {
  const std::string templateText = Template(thread, command);
  const int encoding = (thread + command) % 3 == 0 ? kNone
                       : (thread + command) % 3 == 1 ? kQuotedPrintable : kBase64;
  struct soap* soap = soap_new();
  std::string encoded = encoding == kQuotedPrintable ? QuotedPrintable(templateText) : templateText;
  if (encoding == kBase64) {
    encoded = soap_s2base64(soap, reinterpret_cast<const unsigned char*>(templateText.data()),
                            nullptr, static_cast<int>(templateText.size()));
  }
  struct soap_multipart envelope {};
  struct soap_multipart part {};
  part.ptr = &encoded[0];
  part.size = encoded.size();
  part.encoding = static_cast<enum soap_mime_encoding>(encoding);
  envelope.next = &part;
  soap->mime.list = &envelope;

  RecordingHost host;
  host.name = WIDE("TemplateConfig");
  host.attributes = {{WIDE("Modified"), WIDE("true")},
                     {WIDE("Attachment"), WIDE("true")},
                     {WIDE("EndPoint"), FromUtf8(endpoint)}};
  host.text = FromUtf8("<TemplateConfig><ScheduleId>" + std::to_string(thread * 1000 + command) +
                       "</ScheduleId></TemplateConfig>");
  host.soap = soap;
  host.receivedSoap = soap;
  PostCommand(&host);

  soap->mime.list = nullptr;
  soap_end(soap);
  soap_free(soap);
  return host.results;
}

TEST(ConcurrentCommands, EightHostThreadsEachAnsweredDeliveredAndReportedOnceWithWholeLogLines) {
  ASSERT_TRUE(testing_support::PortIsFree(8000))
      << "something else listens on 127.0.0.1:8000, the agent's local service port";
  DevconfPeer local(8000, {"--r", "7"});
  DevconfPeer server(0);
  ASSERT_TRUE(local.running());
  ASSERT_TRUE(server.running());
  const size_t logBefore = testing_support::ReadFile(LogFilePath()).size();

  std::vector<std::vector<int32_t>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&results, &server, t] {
      for (int c = 0; c < kCommandsEach; ++c) {
        for (int32_t r : Post(t, c, server.url("/status"))) results[t].push_back(r);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], std::vector<int32_t>(kCommandsEach, 7)) << "thread " << t;
    for (int c = 0; c < kCommandsEach; ++c) expected.insert(Template(t, c));
  }
  // Each template delivered once, whole, and each command reported once.
  std::set<std::string> delivered;
  for (const auto& request : local.Requests()) {
    const size_t id = request.xIn.find("<Item id=\"");
    ASSERT_NE(id, std::string::npos) << request.xIn.substr(0, 200);
    const std::string item = request.xIn.substr(id, request.xIn.find("/>", id) + 2 - id);
    EXPECT_TRUE(delivered.insert("<Root>" + item + "</Root>").second) << "twice: " << item.substr(0, 30);
  }
  EXPECT_EQ(delivered, expected);
  std::set<std::string> reported;
  for (const auto& report : server.Requests()) {
    EXPECT_NE(report.xIn.find("<Progress>100</Progress>"), std::string::npos) << report.xIn;
    EXPECT_TRUE(reported.insert(report.xIn).second) << "twice: " << report.xIn;
  }
  EXPECT_EQ(reported.size(), expected.size());

  // Every line whole, and each "-----xIn:" line holds its whole template.
  std::string bad;
  const auto messages =
      testing_support::LogMessages(testing_support::ReadFile(LogFilePath()).substr(logBefore), &bad);
  EXPECT_EQ(bad, "") << "a line without its prefix or its end";
  std::set<std::string> logged;
  for (const std::string& message : messages) {
    if (message.compare(0, 9, "-----xIn:") == 0) logged.insert(message.substr(9));
  }
  EXPECT_EQ(logged, expected);
}

}  // namespace
