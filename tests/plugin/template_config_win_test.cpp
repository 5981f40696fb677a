// The TemplateConfig command end to end on Windows: quorvil-agent.exe with
// Quorvil.dll, the local service on 127.0.0.1:8000 and the management server,
// with the log read from the real C:\runtime.log.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/machine_root.h"
#include "tests/devconf_peer.h"
#include "tests/test_support.h"

namespace {

using testing_support::DevconfPeer;
using testing_support::ReadFile;
using testing_support::RunProcess;

const char kLog[] = "C:\\runtime.log";

const std::string kTemplate =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Root>\n  <A ns=\"CSC\" Name=\"caf\xC3\xA9 = 3 &amp; more\"/>\n</Root>\n";

const std::string kDelivered =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Root Template=\"true\" OS=\"All\">\n  \n<CSCTemplateConfig ns=\"CSC\" Modified=\"true\">"
    "<A ns=\"CSC\" Name=\"caf\xC3\xA9 = 3 &amp; more\"/></CSCTemplateConfig></Root>\n";

class TemplateConfigWin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::PortIsFree(8000))
        << "something else listens on 127.0.0.1:8000, the agent's local service port";
    ASSERT_TRUE(platform::MakeDirectories(root_.path() + "/net"));
    testing_support::WriteFile(root_.path() + "/net/adapters", "eth0 0A0B0C0D0E0F\n");
    testing_support::WriteFile(root_.path() + "/template.xml", kTemplate);
    logStart_ = ReadFile(kLog).size();
  }

  std::string Agent() const { return testing_support::BuildDir() + "/hosts/agent/quorvil-agent.exe"; }

  std::string Compose(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {Agent(), "compose", "--template", root_.path() + "/template.xml",
                                     "--endpoint", server_.url("/status")};
    argv.insert(argv.end(), options.begin(), options.end());
    auto r = RunProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }

  std::string Run(const std::string& request) {
    auto r = RunProcess({Agent(), "--plugin", testing_support::PluginPath(), "run", "-"},
                        {{"QUORVIL_ROOT", root_.path()}}, request);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const size_t at = r.out.find("result: ");
    return at == std::string::npos ? r.out : r.out.substr(at, r.out.find('\n', at) - at);
  }

  // The messages this test added to the log, without their time and channel.
  std::vector<std::string> NewLogMessages() const {
    const std::string text = ReadFile(kLog).substr(logStart_);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(pos, end - pos);
      const size_t info = line.find("]INFO:");
      if (info != std::string::npos && line[0] == '[') lines.push_back(line.substr(info + 6));
      pos = end + 2;
    }
    return lines;
  }

  testing_support::TempDir root_;
  DevconfPeer server_{0};
  size_t logStart_ = 0;
};

TEST_F(TemplateConfigWin, EveryTransferEncodingDeliversTheSameTemplateAndReportsProgress) {
  ASSERT_TRUE(server_.running());
  DevconfPeer local(8000, {"--r", "17"});
  ASSERT_TRUE(local.running());
  for (const char* encoding : {"base64", "quoted-printable", "8bit", "binary", "none"}) {
    EXPECT_EQ(Run(Compose({"--encoding", encoding, "--schedule-id", "42"})), "result: 17") << encoding;
  }
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 5u);
  for (const auto& request : delivered) {
    EXPECT_EQ(request.xIn, kDelivered);
    EXPECT_EQ(request.to, "http://127.0.0.1:8000");
  }
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[0].xIn,
            "<Root ID=\"0A0B0C0D0E0F\"><TaskStatusResponse><ScheduleId>42</ScheduleId><Progress>100"
            "</Progress></TaskStatusResponse></Root>");
  const auto log = NewLogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(std::find(log.begin(), log.end(), "before decoder"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "not base64 encoding value:2 "), log.end());
  EXPECT_EQ(log.back(), "SendTaskRes result:{0}");
}

TEST_F(TemplateConfigWin, UnknownCommandEndsWithItsLineAndNoResult) {
  const std::string good = Compose({"--schedule-id", "1"});
  std::string request = good;
  const std::string from = "<agent:Name>TemplateConfig<", to = "<agent:Name>RebootTerminal<";
  const size_t at = request.find(from);
  ASSERT_NE(at, std::string::npos);
  request.replace(at, from.size(), to);  // same length: Content-Length still holds
  EXPECT_EQ(Run(request), "result: none");
  const auto log = NewLogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "i can not find command name! in .\\Quorvil(168)");
  EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
