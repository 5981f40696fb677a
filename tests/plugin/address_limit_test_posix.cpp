// A whole command in an agent whose address space is limited, over a range of
// limits from too small to run at all to large enough: the local service gets
// the whole reshaped template or nothing, never a part.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/common/devconf_peer.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::AgentPath;
using testing_support::DevconfPeer;
using testing_support::RunProcess;

// Runs the template in `text` under each limit from too small to large enough.
void SweepLimits(const std::string& text) {
  testing_support::TempDir root;
  DevconfPeer server(0);
  DevconfPeer local(8000, {"--r", "3"});
  ASSERT_TRUE(server.running() && local.running());
  testing_support::WriteFile(root.path() + "/template.xml", text);
  auto composed = RunProcess({AgentPath(), "compose", "--template", root.path() + "/template.xml",
                              "--encoding", "base64", "--schedule-id", "5", "--endpoint",
                              server.url("/status")});
  ASSERT_EQ(composed.exitCode, 0) << composed.err;
  const std::map<std::string, std::string> env = {{"QUORVIL_ROOT", root.path()}};
  auto whole = RunProcess({AgentPath(), "run", "-"}, env, composed.out);
  ASSERT_NE(whole.out.find("result: 3\n"), std::string::npos) << whole.out << whole.err;
  ASSERT_EQ(local.Requests().size(), 1u);
  const std::string delivered = local.Requests()[0].xIn;

  int refused = 0;
  size_t requests = 1;
  for (int megabytes = 24; megabytes <= 160; megabytes += 2) {
    const std::string limit = std::to_string(megabytes * 1024);
    RunProcess({"/bin/sh", "-c", "ulimit -v \"$0\" && exec \"$@\"", limit, AgentPath(), "run", "-"},
               env, composed.out);
    const auto received = local.Requests();
    if (received.size() == requests) {
      ++refused;
      continue;
    }
    ASSERT_EQ(received.size(), requests + 1) << megabytes << " MB";
    ASSERT_EQ(received.back().xIn.size(), delivered.size()) << megabytes << " MB: a part was sent";
    ASSERT_EQ(received.back().xIn, delivered) << megabytes << " MB";
    if (++requests >= 4) break;  // three limits delivered it: larger ones will too
  }
  EXPECT_GT(refused, 0) << "no limit was small enough to refuse the template";
  EXPECT_GE(requests, 4u) << "no limit was large enough to deliver it";
  // Progress 100 follows a delivery and nothing else.
  size_t completed = 0;
  for (const auto& report : server.Requests()) {
    completed += report.xIn.find("<Progress>100</Progress>") != std::string::npos;
  }
  EXPECT_EQ(completed, requests);
}

// A long attribute is written into the dump's buffer in one piece.
TEST(AddressSpaceLimit, LongAttributeReachesTheLocalServiceWholeOrNotAtAll) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#endif
  ASSERT_TRUE(testing_support::LocalServicePortIsFree());
  std::string text = "<Root><A ns=\"CSC\" big=\"" + std::string(4 * 1024 * 1024, 'x') + "\"/>";
  for (int i = 0; i < 200; ++i) text += "<E" + std::to_string(i) + "/>";
  SweepLimits(text + "</Root>");
}

// The CSC element is copied deep under the wrapper; with many children the
// copy, not the payload, is what needs the most memory.
TEST(AddressSpaceLimit, ElementOfManyChildrenReachesTheLocalServiceWholeOrNotAtAll) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#endif
  ASSERT_TRUE(testing_support::LocalServicePortIsFree());
  std::string text = "<Root><A ns=\"CSC\">";
  for (int i = 0; i < 300000; ++i) text += "<E/>";
  SweepLimits(text + "</A><B/></Root>");
}

}  // namespace
