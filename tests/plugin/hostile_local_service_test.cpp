// A TemplateConfig command whose local service on 127.0.0.1:8000 misbehaves,
// end to end through the agent host stand-in: the command still gets its
// result, the server still gets its report, and the agent's memory stays
// far below what the peer sends.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "tests/common/devconf_peer.h"
#include "tests/service/hostile_peer.h"
#include "tests/service/measured_run.h"
#include "tests/common/test_support.h"

namespace {

using service_test::HostilePeer;
using service_test::Hostility;
using service_test::MeasuredRun;
using testing_support::AgentPath;
using testing_support::DevconfPeer;

constexpr long kHeadroomKilobytes = 16 * 1024;

// The "result:" line of the agent's output; the proxy notices come before it.
std::string ResultLine(const std::string& out) {
  const size_t at = out.find("result: ");
  return at == std::string::npos ? out : out.substr(at, out.find('\n', at) - at);
}

class HostileLocalService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::LocalServicePortIsFree());
    platform::MakeDirectories(root_.path() + "/net");
    testing_support::WriteFile(root_.path() + "/net/adapters", "eth0 0A0B0C0D0E0F\n");
    testing_support::WriteFile(root_.path() + "/template.xml", "<Root><A ns=\"CSC\"/></Root>");
    auto composed = testing_support::RunProcess(
        {AgentPath(), "compose", "--template", root_.path() + "/template.xml", "--schedule-id", "7",
         "--endpoint", server_.url("/status")});
    ASSERT_EQ(composed.exitCode, 0) << composed.err;
    testing_support::WriteFile(root_.path() + "/request", composed.out);
  }

  MeasuredRun Run() {
    return service_test::RunMeasured(
        {AgentPath(), "--plugin", testing_support::PluginPath(), "run", root_.path() + "/request"},
        {{"QUORVIL_ROOT", root_.path()}});
  }

  bool ServerHeardProgress(int progress) {
    const auto requests = server_.Requests();
    return !requests.empty() &&
           requests.back().xIn.find("<Progress>" + std::to_string(progress) + "</Progress>") !=
               std::string::npos;
  }

  testing_support::TempDir root_;
  DevconfPeer server_{0};
};

TEST_F(HostileLocalService, EveryMisbehaviourEndsWithResultZeroAndTheReportSent) {
  long baseline = 0;
  {
    DevconfPeer local(8000, {"--r", "17"});
    ASSERT_TRUE(local.running());
    const MeasuredRun run = Run();
    ASSERT_EQ(ResultLine(run.out), "result: 17") << run.err;
    baseline = run.peakKilobytes;
  }
  const struct {
    const char* name;
    Hostility hostility;
  } cases[] = {
      {"HTML with 500", Hostility::kHtml500},
      {"100 MB body", Hostility::kHugeBody},
      {"60 MB fault string", Hostility::kHugeFaultString},
      {"200,000 levels", Hostility::kDeepNesting},
      {"closed mid-response", Hostility::kCloseMidResponse},
      {"chunk size FFFFFFFF", Hostility::kHugeChunk},
  };
  for (const auto& c : cases) {
    HostilePeer local(c.hostility, 8000);
    const MeasuredRun run = Run();
    EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err;  // a leak fails the sanitizer build
    EXPECT_EQ(ResultLine(run.out), "result: 0") << c.name << ": " << run.err;
    EXPECT_EQ(local.RequestsRead(), 1u) << c.name;
    EXPECT_TRUE(ServerHeardProgress(100)) << c.name;
    EXPECT_LT(run.peakKilobytes, baseline + kHeadroomKilobytes)
        << c.name << ": baseline " << baseline << " kB, peer sent " << local.BytesSent();
  }
}

}  // namespace
