// Proxy settings and the address list, read from the agent folder of a copy
// of this test program placed in a temporary folder.
#include "service/proxy_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/network.h"
#include "platform/standin/program.h"
#include "service/local_address.h"
#include "tests/common/test_support.h"

namespace {

// Runs one probe in the copied program and exits, before the tests start.
__attribute__((constructor)) void RunProbe() {
  const char* probe = std::getenv("QUORVIL_PROXY_PROBE");
  if (probe == nullptr) return;
  const std::string p(probe);
  // The bytes as printed.
  platform::SetBinaryStandardStreams();
  if (p == "read") {
    char host[kTextBufferSize] = "keep";
    char port[kTextBufferSize] = "keep";
    const bool enabled = ReadProxySettings(host, port);
    std::printf("enabled=%d host=%s port=%s\n", enabled ? 1 : 0, host, port);
  } else if (p == "twice") {
    std::printf("%d%d\n", IsProxyEnabled() ? 1 : 0, IsProxyEnabled() ? 1 : 0);
  } else if (p.rfind("apply:", 0) == 0) {
    char url[kTextBufferSize] = {};
    std::snprintf(url, sizeof url, "%s", p.c_str() + 6);
    const bool ok = ApplyProxy(url);
    std::printf("ok=%d url=%s\n", ok ? 1 : 0, url);
  } else if (p == "addresses") {
    char list[260];
    std::memset(list, 'x', sizeof list);
    GetLocalAddressList(list);
    std::printf("list=%s\n", list);
  }
  std::fflush(stdout);
  std::_Exit(0);
}

const std::string kUnavailable = "\xB4\xFA\xC0\xED\xB2\xBB\xBF\xC9\xD3\xC3\n";
const std::string kNotEnabled = "\xB4\xFA\xC0\xED\xCE\xB4\xBF\xAA\xC6\xF4\n";

class ProxyAgent : public ::testing::Test {
 protected:
  void SetUp() override {
    agent_ = dir_.path() + "/agent";
    ASSERT_TRUE(platform::MakeDirectories(agent_ + "/Conf"));
    program_ = testing_support::CopyThisProgram(agent_, "agent-host");
  }

  void WriteSettings(const std::string& text) {
    testing_support::WriteFile(agent_ + "/Conf/ProxyInfo.xml", text);
  }

  std::string Probe(const std::string& probe) {
    auto r = testing_support::RunProcess(
        {program_}, {{"QUORVIL_PROXY_PROBE", probe}, {"QUORVIL_ROOT", dir_.path() + "/root"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    lastErr_ = r.err;
    return r.out;
  }

  testing_support::TempDir dir_;
  std::string agent_;
  std::string program_;
  std::string lastErr_;
};

TEST_F(ProxyAgent, ThreeTokensOnOneLineOrThreeLinesEnableTheProxy) {
  WriteSettings("10.1.1.1 8080 true");
  EXPECT_EQ(Probe("read"), "enabled=1 host=10.1.1.1 port=8080\n");
  WriteSettings("10.1.1.1\n8080\r\n\ttrue\n");
  EXPECT_EQ(Probe("read"), "enabled=1 host=10.1.1.1 port=8080\n");
  WriteSettings("10.1.1.1 8080 true and further words\n");
  EXPECT_EQ(Probe("read"), "enabled=1 host=10.1.1.1 port=8080\n");
}

// Windows' C runtime reads a narrow path in the ANSI code page, where the
// folder's UTF-8 name is another folder.
TEST_F(ProxyAgent, AgentFolderNamedOutsideAsciiHoldsItsSettings) {
  agent_ = dir_.path() + "/Agent-\xC3\x84\xE4\xB8\xAD";  // "Agent-Ä中"
  ASSERT_TRUE(platform::MakeDirectories(agent_ + "/Conf"));
  program_ = testing_support::CopyThisProgram(agent_, "agent-host");
  WriteSettings("10.1.1.1 8080 true");
  EXPECT_EQ(Probe("read"), "enabled=1 host=10.1.1.1 port=8080\n");
}

TEST_F(ProxyAgent, AnyFlagButLowerCaseTrueLeavesTheBuffersAndSaysNotEnabled) {
  WriteSettings("10.1.1.1 8080 TRUE");
  EXPECT_EQ(Probe("read"), kNotEnabled + "enabled=0 host=keep port=keep\n");
  WriteSettings("10.1.1.1 8080");
  EXPECT_EQ(Probe("read"), kNotEnabled + "enabled=0 host=keep port=keep\n");
  WriteSettings("");
  EXPECT_EQ(Probe("read"), kNotEnabled + "enabled=0 host=keep port=keep\n");
}

TEST_F(ProxyAgent, MissingFileSaysUnavailableAndReleasesTheLockEveryTime) {
  EXPECT_EQ(Probe("read"), kUnavailable + "enabled=0 host=keep port=keep\n");
  EXPECT_EQ(Probe("twice"), kUnavailable + kUnavailable + "00\n");
}

TEST_F(ProxyAgent, TokenLongerThanItsBufferDisablesTheProxyInsteadOfOverflowing) {
  WriteSettings(std::string(300, 'h') + " 8080 true");
  EXPECT_EQ(Probe("read"), kNotEnabled + "enabled=0 host=keep port=keep\n");
  WriteSettings("10.1.1.1 " + std::string(259, '9') + " true");
  EXPECT_EQ(Probe("read"), "enabled=1 host=10.1.1.1 port=" + std::string(259, '9') + "\n");
}

TEST_F(ProxyAgent, EnabledProxyTakesThePlaceOfHostAndPort) {
  WriteSettings("10.1.1.1 8080 true");
  EXPECT_EQ(Probe("apply:http://192.168.0.5:9000/svc/a"),
            "http://10.1.1.1:8080/svc/a\nok=1 url=http://10.1.1.1:8080/svc/a\n");
  EXPECT_EQ(Probe("apply:https://127.0.0.1:8000/x"),
            "http://10.1.1.1:8080/x\nok=1 url=http://10.1.1.1:8080/x\n");
  EXPECT_EQ(Probe("apply:http://192.168.0.5:9000/"),
            "http://10.1.1.1:8080/\nok=1 url=http://10.1.1.1:8080/\n");
}

TEST_F(ProxyAgent, DisabledProxyPrintsItsMessageAndTheUnchangedUrl) {
  WriteSettings("10.1.1.1 8080 false");
  EXPECT_EQ(Probe("apply:http://192.168.0.5:9000/svc/a"),
            kNotEnabled + "http://192.168.0.5:9000/svc/a\nok=1 url=http://192.168.0.5:9000/svc/a\n");
  // The shape of the URL does not matter when nothing is rewritten.
  EXPECT_EQ(Probe("apply:http://example.test/svc"),
            kNotEnabled + "http://example.test/svc\nok=1 url=http://example.test/svc\n");
}

TEST_F(ProxyAgent, TextWithoutColonIsLeftAloneWithoutReadingTheFile) {
  EXPECT_EQ(Probe("apply:no-colon-here"), "ok=1 url=no-colon-here\n");
}

TEST_F(ProxyAgent, UrlWithoutPortOrPathKeepsItsPathAndOnlyOneWithoutSlashesIsRefused) {
  WriteSettings("10.1.1.1 8080 true");
  for (const auto& c : {std::pair<std::string, std::string>{"http://192.168.0.5/svc", "svc"},
                        {"http://192.168.0.5/a:b/c", "a:b/c"},
                        {"http://192.168.0.5:9000", ""},
                        {"http://192.168.0.5", ""}}) {
    const std::string rewritten = "http://10.1.1.1:8080/" + c.second;
    EXPECT_EQ(Probe("apply:" + c.first), rewritten + "\nok=1 url=" + rewritten + "\n") << c.first;
  }
  const std::string url = "192.168.0.5:9000/svc";
  EXPECT_EQ(Probe("apply:" + url), "ok=0 url=" + url + "\n");
  EXPECT_NE(lastErr_.find("cannot be sent through the proxy"), std::string::npos);
}

TEST_F(ProxyAgent, RewriteLongerThanTheBufferIsRefused) {
  WriteSettings(std::string(200, 'p') + " 8080 true");
  const std::string url = "http://192.168.0.5:9000/" + std::string(100, 's');
  EXPECT_EQ(Probe("apply:" + url), "ok=0 url=" + url + "\n");
}

TEST_F(ProxyAgent, AddressListStartsWithTheProxyFlagThenTheResolverAnswer) {
  char name[256] = {};
  std::string expected;
  if (platform::LocalHostName(name, 32)) {
    for (const std::string& a : platform::ResolveIPv4(name)) {
      if (expected.size() + 2 + a.size() >= 260) break;
      expected += "," + a;
    }
  }
  EXPECT_EQ(Probe("addresses"), kUnavailable + "list=0" + expected + "\n");
  WriteSettings("10.1.1.1 8080 true");
  EXPECT_EQ(Probe("addresses"), "list=1" + expected + "\n");
}

}  // namespace
