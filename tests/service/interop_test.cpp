// Interoperability with an independent SOAP implementation, the npm package
// "soap": it serves our WSDL to CallSet, and it calls devconf-service.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "service/call_set.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"

namespace {

using namespace service_test;
using testing_support::TempDir;

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = dir + "/" + name;
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

std::string NpmFolder() { return testing_support::BuildDir() + "/tests/service/npm"; }
std::string Wsdl() { return testing_support::BuildDir() + "/service/generated/server/DeviceConfig.wsdl"; }
std::string Script(const std::string& name) {
  return testing_support::SourceDir() + "/tests/service/node/" + name;
}

// The peer is installed by scripts/install-node-peer before the tests run.
// Without it the suite is skipped on a developer's machine, and fails in CI,
// where a missing peer would otherwise hide that nothing was compared.
class NodeSoapInterop : public testing::Test {
 protected:
  void SetUp() override {
    node_ = FindProgram("node");
    std::string missing;
    if (node_.empty()) {
      missing = "node is not installed";
    } else if (!testing_support::FileExists(NpmFolder() + "/node_modules/soap/package.json")) {
      missing = "the npm package soap is not in " + NpmFolder();
    }
    if (missing.empty()) return;
    const std::string why = missing + " (scripts/install-node-peer " + NpmFolder() + ")";
    if (std::getenv("CI") != nullptr) FAIL() << why;
    GTEST_SKIP() << why << ": interoperability not tested";
  }

  std::map<std::string, std::string> NodeEnv() const {
    return {{"NODE_PATH", NpmFolder() + "/node_modules"}};
  }

  std::string node_;
};

TEST_F(NodeSoapInterop, NodeServesTheGeneratedWsdlAndCallSetGetsItsR) {
  TempDir dir;
  BackgroundProcess server({node_, Script("serve_wsdl.js"), Wsdl(), dir.path() + "/port", "77"},
                           dir.path() + "/stdout", NodeEnv());
  int port = WaitForPortFile(dir.path() + "/port", 30);
  ASSERT_GT(port, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/svc";
  int32_t result = 0;
  EXPECT_EQ(CallSet(url.c_str(), WIDE("<Doc a=\"1\">x &amp; y\n</Doc>"), &result), 0);
  EXPECT_EQ(result, 77);
  server.Stop();
  EXPECT_EQ(testing_support::ReadFile(dir.path() + "/stdout"),
            "{\"xIn\":\"<Doc a=\\\"1\\\">x &amp; y\\n</Doc>\"}\n");
}

TEST_F(NodeSoapInterop, NodeClientCallsDevconfServiceAndReadsR) {
  TempDir dir;
  BackgroundProcess service({DevconfServicePath(), "--port", "0", "--port-file",
                             dir.path() + "/port", "--r", "88"},
                            dir.path() + "/stdout");
  int port = WaitForPortFile(dir.path() + "/port");
  ASSERT_GT(port, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/svc";
  testing_support::ProcessResult run = testing_support::RunProcess(
      {node_, Script("call_set.js"), Wsdl(), url, "<Doc>&</Doc>"}, NodeEnv());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "{\"r\":88}\n");
  EXPECT_EQ(service.Stop(), 0);
  const std::string log = testing_support::ReadFile(dir.path() + "/stdout");
  EXPECT_NE(log.find(",\"xIn\":\"<Doc>&</Doc>\"}\n"), std::string::npos) << log;
}

}  // namespace
