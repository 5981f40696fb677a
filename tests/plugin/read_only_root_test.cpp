// The plug-in on a machine whose root is mounted read-only: no log file, no
// registry writes, no lock files. Lines go to the debug output, the identity
// is still found and a command still ends with its result. The read-only
// mount lives in a mount namespace of the agent's own.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/machine_root.h"
#include "tests/devconf_peer.h"
#include "tests/test_support.h"

namespace {

// QUORVIL_READ_ONLY_PROBE set: mounts $QUORVIL_ROOT read-only in a namespace
// of its own, then runs the agent with this program's arguments.
__attribute__((constructor(101))) void RunProbe(int argc, char** argv) {
  if (std::getenv("QUORVIL_READ_ONLY_PROBE") == nullptr) return;
  const char* root = std::getenv("QUORVIL_ROOT");
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount(root, root, nullptr, MS_BIND, nullptr) != 0 ||
      ::mount(nullptr, root, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    std::printf("unsupported: %s\n", std::strerror(errno));
    std::fflush(stdout);
    std::_Exit(0);
  }
  ::unsetenv("QUORVIL_READ_ONLY_PROBE");
  std::vector<char*> args(argv + 1, argv + argc);
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  std::_Exit(127);
}

std::string Agent() { return testing_support::BuildDir() + "/hosts/agent/quorvil-agent"; }

class ReadOnlyRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MakeDirectories(root_.path() + "/drive_c");
    platform::MakeDirectories(root_.path() + "/net");
    platform::MakeDirectories(root_.path() + "/registry/HKEY_LOCAL_MACHINE/Software/Korvane");
    testing_support::WriteFile(root_.path() + "/net/adapters",
                               "eth0 0A0B0C0D0E0F\neth1 0A0B0C0D0E01\n");
  }
  testing_support::ProcessResult RunAgent(const std::vector<std::string>& args,
                                          const std::string& input = std::string()) {
    std::vector<std::string> argv = {"/proc/self/exe", Agent(), "--plugin",
                                     testing_support::PluginPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testing_support::RunProcess(
        argv, {{"QUORVIL_READ_ONLY_PROBE", "1"}, {"QUORVIL_ROOT", root_.path()}}, input);
  }
  testing_support::TempDir root_;
};

#define SKIP_WITHOUT_NAMESPACES(r)                                              \
  if ((r).out.find("unsupported: ") == 0)                                       \
  GTEST_SKIP() << "a mount namespace is needed for a read-only root: " << (r).out

TEST_F(ReadOnlyRoot, LogLinesGoToTheDebugOutputAndEveryEntryPointAnswers) {
  auto r = RunAgent({"call", "InitModule", "GetInfo"});
  SKIP_WITHOUT_NAMESPACES(r);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "InitModule: 0\nGetInfo: 0\n");
  EXPECT_NE(r.err.find("Cannot open log file:" + root_.path() +
                       "/drive_c/runtime.log, redirect the log using OutputDebugString().\r\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("[Quorvil]INFO:Quorvil InitModule()\r\n"), std::string::npos) << r.err;
  EXPECT_FALSE(testing_support::FileExists(root_.path() + "/drive_c/runtime.log"));
}

TEST_F(ReadOnlyRoot, CommandStillEndsWithItsResultAndReportsTheIdentity) {
  ASSERT_TRUE(testing_support::PortIsFree(8000))
      << "something else listens on 127.0.0.1:8000, the agent's local service port";
  testing_support::DevconfPeer server(0);
  testing_support::DevconfPeer local(8000, {"--r", "23"});
  ASSERT_TRUE(server.running() && local.running());
  testing_support::WriteFile(root_.path() + "/template.xml", "<Root/>");
  auto composed = testing_support::RunProcess(
      {Agent(), "compose", "--template", root_.path() + "/template.xml", "--schedule-id", "7",
       "--endpoint", server.url("/status")});
  ASSERT_EQ(composed.exitCode, 0) << composed.err;

  auto r = RunAgent({"run", "-"}, composed.out);
  SKIP_WITHOUT_NAMESPACES(r);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("result: 23\n"), std::string::npos) << r.out << r.err;
  ASSERT_EQ(server.Requests().size(), 1u);
  // The map of the other address could not be written; the identity stands.
  EXPECT_EQ(server.Requests()[0].xIn,
            "<Root ID=\"0A0B0C0D0E01\"><TaskStatusResponse><ScheduleId>7</ScheduleId>"
            "<Progress>100</Progress></TaskStatusResponse></Root>");
  EXPECT_FALSE(testing_support::FileExists(root_.path() +
                                           "/registry/HKEY_LOCAL_MACHINE/Software/Korvane/Brem2009"));
  EXPECT_NE(r.err.find("good news ,Client call success"), std::string::npos) << r.err;
}

}  // namespace
