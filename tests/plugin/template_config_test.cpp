// The TemplateConfig command end to end: a request composed for the agent
// host stand-in, the plug-in, the local service on 127.0.0.1:8000 and the
// management server, each way a command can end.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/standin/child_process.h"
#include "tests/common/devconf_peer.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::AgentPath;
using testing_support::DevconfPeer;
using testing_support::ReadFile;
using testing_support::RunProcess;

const std::string kTemplate =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Root>\n  <A ns=\"CSC\" Name=\"caf\xC3\xA9 = 3 &amp; more\"/>\n  <B>"
    "a line long enough that a quoted-printable encoder must break it softly, twice over, "
    "and then some more words to be sure</B>\n</Root>\n";

const std::string kDelivered =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Root Template=\"true\" OS=\"All\">\n  \n  \n<CSCTemplateConfig ns=\"CSC\" Modified=\"true\">"
    "<A ns=\"CSC\" Name=\"caf\xC3\xA9 = 3 &amp; more\"/><B>a line long enough that a "
    "quoted-printable encoder must break it softly, twice over, and then some more words to be "
    "sure</B></CSCTemplateConfig></Root>\n";

std::string g_identity;

std::string StatusDocument(const std::string& scheduleId, int progress) {
  return "<Root ID=\"" + g_identity + "\"><TaskStatusResponse><ScheduleId>" + scheduleId +
         "</ScheduleId><Progress>" + std::to_string(progress) +
         "</Progress></TaskStatusResponse></Root>";
}

// Replaces the first `from` in an HTTP request and mends its Content-Length.
std::string Edit(const std::string& request, const std::string& from, const std::string& to) {
  std::string r = request;
  const size_t at = r.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at == std::string::npos) return r;
  r.replace(at, from.size(), to);
  return testing_support::MendContentLength(r);
}

class TemplateConfig : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::LocalServicePortIsFree());
    g_identity = testing_support::TerminalIdentity(root_.path(), "0A0B0C0D0E0F");
    testing_support::WriteFile(root_.path() + "/template.xml", kTemplate);
    logStart_ = ReadFile(LogPath()).size();
  }

  // On Windows the log is shared with earlier runs: only what this test adds counts.
  std::string LogPath() const { return testing_support::PluginLogPath(root_.path()); }

  std::string Compose(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {AgentPath(), "compose", "--template", root_.path() + "/template.xml",
                                     "--endpoint", server_.url("/status")};
    argv.insert(argv.end(), options.begin(), options.end());
    auto r = RunProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }

  // Runs the request through the plug-in; answers the "result:" line.
  std::string Run(const std::string& request) {
    auto r = RunProcess({AgentPath(), "--plugin", testing_support::PluginPath(), "run", "-"},
                        {{"QUORVIL_ROOT", root_.path()}}, request);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The host checks that its receiving context came back as it was lent.
    EXPECT_EQ(r.err.find("left error"), std::string::npos) << r.err;
    const size_t at = r.out.find("result: ");
    return at == std::string::npos ? r.out : r.out.substr(at, r.out.find('\n', at) - at);
  }

  std::vector<std::string> LogMessages() {
    std::vector<std::string> lines;
    const std::string log = ReadFile(LogPath());
    const std::string text = log.size() >= logStart_ ? log.substr(logStart_) : log;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      const size_t info = line.find("]INFO:");
      if (info != std::string::npos && line[0] == '[') lines.push_back(line.substr(info + 6));
      pos = end + 2;
    }
    return lines;
  }
  std::string LastLogLine() {
    auto lines = LogMessages();
    return lines.empty() ? "" : lines.back();
  }

  testing_support::TempDir root_;
  DevconfPeer server_{0};
  size_t logStart_ = 0;
};

TEST_F(TemplateConfig, EveryTransferEncodingDeliversTheSameTemplate) {
  DevconfPeer local(8000, {"--r", "17"});
  ASSERT_TRUE(local.running());
  for (const char* encoding : {"base64", "quoted-printable", "8bit", "binary", "none"}) {
    EXPECT_EQ(Run(Compose({"--encoding", encoding, "--schedule-id", "42"})), "result: 17") << encoding;
  }
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 5u);
  for (const auto& request : delivered) EXPECT_EQ(request.xIn, kDelivered);
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[0].xIn, StatusDocument("42", 100));
  const auto log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "before decoder"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "not base64 encoding value:2 "), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "not base64 encoding value:3 "), log.end());
  EXPECT_EQ(log.back(), "SendTaskRes result:{0}");
}

TEST_F(TemplateConfig, AttachedCommandLogsItsWayThroughDispatch) {
  DevconfPeer local(8000, {"--r", "5"});
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run(Compose({"--encoding", "base64", "--schedule-id", "42"})), "result: 5");
  const auto log = LogMessages();
  const std::vector<std::string> expected = {
      "TemplateConfig----wsxml = <TemplateConfig><ScheduleId>42</ScheduleId></TemplateConfig>",
      "TemplateConfig----name = TemplateConfig",
      "yes,attachment not null in.\\Quorvil(96)",
      "yes,attachment not null in.\\Quorvil(101)",
      "yes,attachment not null in.\\Quorvil(119)",
      "yes,attachment not null in.\\Quorvil(133)",
      "begin >>>>dispatch attachment template in .\\TemplateOp(58)",
      "endpoint:" + server_.url("/status"),
      "scheduleId:42"};
  ASSERT_GE(log.size(), expected.size() + 3);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + static_cast<long>(expected.size())),
            expected);
  EXPECT_EQ(log[expected.size()].rfind("-----xIn:<?xml version=\"1.0\"", 0), 0u);
  EXPECT_EQ(log[log.size() - 2], "good news ,Client call success");
  // The host has generated code and a namespace table of its own; the
  // plug-in's request still carries the service's namespaces and header.
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].operation, "Set");
  EXPECT_EQ(delivered[0].to, "http://127.0.0.1:8000");
  EXPECT_EQ(delivered[0].action, "http://127.0.0.1:8000");
  EXPECT_TRUE(delivered[0].hasFrom);
  EXPECT_EQ(delivered[0].from.substr(0, 1), "0");
  EXPECT_FALSE(delivered[0].hasReplyTo);
  EXPECT_FALSE(delivered[0].messageId.empty());
  EXPECT_EQ(delivered[0].messageId.find_first_not_of("-0123456789"), std::string::npos);
  EXPECT_EQ(log.back(), "SendTaskRes result:{0}");
}

TEST_F(TemplateConfig, CommandsThatAreRefusedEndWithTheirLineAndResult) {
  DevconfPeer local(8000, {"--r", "9"});
  ASSERT_TRUE(local.running());
  const std::string good = Compose({"--encoding", "base64", "--schedule-id", "1"});

  EXPECT_EQ(Run(Edit(good, "<agent:Name>TemplateConfig<", "<agent:Name>Reboot<")), "result: none");
  EXPECT_EQ(LastLogLine(), "i can not find command name! in .\\Quorvil(168)");

  EXPECT_EQ(Run(Edit(good, "<agent:Attribute Key=\"Modified\">true</agent:Attribute>", "")),
            "result: none");
  EXPECT_EQ(LastLogLine(), "i can not find modified! in .\\Quorvil(163)");
  EXPECT_EQ(Run(Compose({"--attr", "Modified=True"})), "result: none");
  EXPECT_EQ(LastLogLine(), "i can not find modified! in .\\Quorvil(163)");

  EXPECT_EQ(Run(Edit(good, "<agent:Attribute Key=\"Attachment\">true</agent:Attribute>", "")),
            "result: 2");
  EXPECT_EQ(LastLogLine(), "i can not find attachment attributes! in .\\Quorvil(156)");
  EXPECT_EQ(Run(Compose({"--attr", "Attachment=TRUE"})), "result: 2");
  EXPECT_EQ(LastLogLine(), "i can not find attachment attributes! in .\\Quorvil(156)");

  // Letter case of the name does not matter.
  EXPECT_EQ(Run(Edit(good, "<agent:Name>TemplateConfig<", "<agent:Name>templateconfig<")), "result: 9");
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(TemplateConfig, MissingAttachmentIsReportedToTheServerAndAnswersZero) {
  DevconfPeer local(8000);
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run(Compose({"--no-attachment", "--schedule-id", "3"})), "result: 0");
  EXPECT_EQ(LastLogLine(), "i can not find attachment! in .\\Quorvil(151)");

  // Only the envelope part: the template part and its boundary are cut off.
  const std::string good = Compose({"--encoding", "base64", "--schedule-id", "3"});
  const size_t second = good.find("\r\n--==quorvil-command-boundary\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Transfer-Encoding: base64");
  ASSERT_NE(second, std::string::npos);
  const size_t closing = good.find("\r\n--==quorvil-command-boundary--");
  const std::string envelopeOnly = Edit(good, good.substr(second, closing - second), "");
  EXPECT_EQ(Run(envelopeOnly), "result: 0");
  EXPECT_EQ(LastLogLine(), "i can not find attachment! in .\\Quorvil(145)");

  EXPECT_TRUE(local.Requests().empty());
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].xIn, StatusDocument("", -2));
  EXPECT_EQ(reports[1].xIn, StatusDocument("", -2));
}

TEST_F(TemplateConfig, Base64ThatDoesNotDecodeReportsMinusTwo) {
  DevconfPeer local(8000);
  ASSERT_TRUE(local.running());
  const std::string good = Compose({"--encoding", "base64", "--schedule-id", "8"});
  const size_t body = good.rfind("Content-ID: <template>\r\n\r\n") + 26;
  const size_t end = good.find("\r\n--==quorvil-command-boundary--");
  const std::string bad = Edit(good, good.substr(body, end - body), "%%%% not base64 %%%%");
  EXPECT_EQ(Run(bad), "result: -2");
  EXPECT_TRUE(local.Requests().empty());
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].xIn, StatusDocument("8", -2));
}

TEST_F(TemplateConfig, CommandTextWithoutScheduleIdStillDelivers) {
  DevconfPeer local(8000, {"--r", "4"});
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run(Compose({"--encoding", "8bit"})), "result: 4");
  EXPECT_EQ(local.Requests().size(), 1u);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].xIn, StatusDocument("", 100));
}

TEST_F(TemplateConfig, TemplateWithoutRootIsNotDelivered) {
  DevconfPeer local(8000);
  ASSERT_TRUE(local.running());
  testing_support::WriteFile(root_.path() + "/template.xml", "<Config><A ns=\"CSC\"/></Config>");
  EXPECT_EQ(Run(Compose({"--encoding", "quoted-printable", "--schedule-id", "6"})), "result: -2");
  EXPECT_TRUE(local.Requests().empty());
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].xIn, StatusDocument("6", -2));
}

// A host started with default signal dispositions whose supervisor went away:
// its standard output and error are pipes nobody reads. The plug-in's console
// lines, the runtime's fault report, libxml2's errors and (the log file being
// unopenable) every log line all go there; the host lives on and gets each
// result.
TEST_F(TemplateConfig, HostWhoseStdoutAndStderrAreBrokenPipesGetsEveryResult) {
  testing_support::WriteFile(root_.path() + "/drive_c", "");
  platform::ChildProcess agent;
  std::string error;
  using platform::ChildStream;
  ASSERT_TRUE(agent.Start({AgentPath(), "--plugin", testing_support::PluginPath(), "serve", "--port", "0"},
                          {{"QUORVIL_ROOT", root_.path()}}, ChildStream::Null(), ChildStream::Pipe(),
                          ChildStream::Pipe(), &error))
      << error;
  std::string line;
  char c;
  while (agent.ReadOutput(&c, 1) == 1 && c != '\n') line += c;
  const std::string listening = "listening on 127.0.0.1:";
  ASSERT_EQ(line.compare(0, listening.size(), listening), 0) << line;
  agent.CloseOutput();
  agent.CloseError();
  auto send = [&](const std::string& templateText) {
    testing_support::WriteFile(root_.path() + "/sent.xml", templateText);
    auto r = RunProcess({AgentPath(), "send", "--to", "http://127.0.0.1:" + line.substr(listening.size()) + "/",
                         "--template", root_.path() + "/sent.xml", "--endpoint", server_.url("/status"),
                         "--schedule-id", "5"});
    return r.out + r.err;
  };
  {
    DevconfPeer local(8000, {"--r", "7"});
    ASSERT_TRUE(local.running());
    EXPECT_EQ(send(kTemplate), "result: 7\n");
    EXPECT_EQ(send("<Root><A></Root>"), "result: -2\n");
  }
  {
    DevconfPeer local(8000, {"--fault", "Server"});
    ASSERT_TRUE(local.running());
    EXPECT_EQ(send(kTemplate), "result: 0\n");
  }
  EXPECT_TRUE(agent.Running());
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[2].xIn, StatusDocument("5", 100));
}

}  // namespace
