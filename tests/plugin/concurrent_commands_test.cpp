// A host that handles commands on eight threads at once, against stand-ins
// of the local service (its fixed port 8000) and of the management server.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "plugin/exports.h"
#include "support/log_module.h"
#include "support/text_conversion.h"
#include "tests/common/devconf_peer.h"
#include "tests/plugin/recording_host.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::DevconfPeer;

constexpr int kThreads = 8;
constexpr int kCommandsEach = 12;
constexpr size_t kTemplateBytes = 30 * 1024;

// Transfer encodings as the runtime numbers them.
constexpr int kNone = 0;
constexpr int kQuotedPrintable = 4;
constexpr int kBase64 = 5;

// What a command's template is made to meet in the parser, by its number.
enum Kind { kWellFormed, kMalformed, kWarned, kEntityRefused, kKinds };
Kind KindOf(int command) { return static_cast<Kind>(command % kKinds); }

std::string Item(int thread, int command) {
  const std::string mark = "t" + std::to_string(thread) + "c" + std::to_string(command);
  std::string item = "<Item id=\"" + mark + "\" data=\"";
  item.append(kTemplateBytes - item.size() - 10, static_cast<char>('a' + thread));
  return item + "\"/>";
}

// Malformed and entity-refused templates leave an error in the library's
// record of the last one; a relative namespace name, a warning.
std::string Template(int thread, int command) {
  const std::string item = Item(thread, command);
  switch (KindOf(command)) {
    case kMalformed:
      return "<Root>" + item + "</Rot>";
    case kWarned:
      return "<Root xmlns:q=\"relative\">" + item + "</Root>";
    case kEntityRefused: {
      std::string doctype = "<!DOCTYPE Root [<!ENTITY a0 \"laugh\">";
      for (int i = 1; i < 10; ++i) {
        doctype += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) doctype += "&a" + std::to_string(i - 1) + ";";
        doctype += "\">";
      }
      return doctype + "]><Root>" + item + "&a9;</Root>";
    }
    default:
      return "<Root>" + item + "</Root>";
  }
}

bool Delivered(int command) { return KindOf(command) == kWellFormed || KindOf(command) == kWarned; }

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
  std::string encoded = encoding == kQuotedPrintable ? QuotedPrintable(templateText) : templateText;
  if (encoding == kBase64) {
    struct soap* scratch = soap_new();
    encoded = soap_s2base64(scratch, reinterpret_cast<const unsigned char*>(templateText.data()),
                            nullptr, static_cast<int>(templateText.size()));
    soap_end(scratch);
    soap_free(scratch);
  }
  ReceivedTemplateConfig received(&encoded, encoding, FromUtf8(endpoint),
                                  FromUtf8(std::to_string(thread * 1000 + command)));
  PostCommand(&received.host);
  return received.host.results;
}

TEST(ConcurrentCommands, EightHostThreadsWithEveryKindOfTemplateGetTheAnswersOfOneAtATime) {
  ASSERT_TRUE(testing_support::LocalServicePortIsFree());
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

  std::set<std::string> expected, sent;
  for (int t = 0; t < kThreads; ++t) {
    std::vector<int32_t> answers;
    for (int c = 0; c < kCommandsEach; ++c) {
      answers.push_back(Delivered(c) ? 7 : -2);
      if (Delivered(c)) expected.insert(Item(t, c));
      sent.insert(Template(t, c));
    }
    EXPECT_EQ(results[t], answers) << "thread " << t;
  }
  // Each deliverable template delivered once, whole, and each command
  // reported once, with the progress its template earned.
  std::set<std::string> delivered;
  for (const auto& request : local.Requests()) {
    const size_t id = request.xIn.find("<Item id=\"");
    ASSERT_NE(id, std::string::npos) << request.xIn.substr(0, 200);
    const std::string item = request.xIn.substr(id, request.xIn.find("/>", id) + 2 - id);
    EXPECT_TRUE(delivered.insert(item).second) << "twice: " << item.substr(0, 30);
  }
  EXPECT_EQ(delivered, expected);
  std::set<std::string> reported;
  for (const auto& report : server.Requests()) {
    const size_t id = report.xIn.find("<ScheduleId>") + 12;
    const int command = std::atoi(report.xIn.c_str() + id) % 1000;
    const std::string progress = Delivered(command) ? "<Progress>100</Progress>" : "<Progress>-2</Progress>";
    EXPECT_NE(report.xIn.find(progress), std::string::npos) << report.xIn;
    EXPECT_TRUE(reported.insert(report.xIn).second) << "twice: " << report.xIn;
  }
  EXPECT_EQ(reported.size(), sent.size());

  // Every line whole, and each "-----xIn:" line holds its whole template.
  std::string bad;
  const auto messages =
      testing_support::LogMessages(testing_support::ReadFile(LogFilePath()).substr(logBefore), &bad);
  EXPECT_EQ(bad, "") << "a line without its prefix or its end";
  std::set<std::string> logged;
  for (const std::string& message : messages) {
    if (message.compare(0, 9, "-----xIn:") == 0) logged.insert(message.substr(9));
  }
  EXPECT_EQ(logged, sent);
}

}  // namespace
