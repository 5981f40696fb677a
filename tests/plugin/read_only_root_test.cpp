// The plug-in on a machine whose root (and drive C:) is on a read-only
// medium: no log file, no registry writes, no lock files. A log channel
// opened there writes to the debug output, and a command still ends with its
// result and reports the identity. The medium is the platform layer's
// system-call table, so this runs without privileges on every system.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "plugin/exports.h"
#include "support/log_module.h"
#include "support/text_conversion.h"
#include "tests/common/devconf_peer.h"
#include "tests/plugin/recording_host.h"
#include "tests/common/read_only_medium.h"
#include "tests/common/test_support.h"

namespace {

class ReadOnlyRoot : public ::testing::Test {
 protected:
  ReadOnlyRoot() {
    platform::MakeDirectories(LogFolder());
    platform::MakeDirectories(dir_.path() + "/registry/HKEY_LOCAL_MACHINE/Software/Korvane");
    identity_ = testing_support::TerminalIdentity(dir_.path(), "0A0B0C0D0E01");
    testing_support::WriteFile(dir_.path() + "/net/adapters",
                               "eth0 0A0B0C0D0E0F\neth1 0A0B0C0D0E01\n");
  }
  std::string LogFolder() const {
    const std::string log = LogFilePath();
    return log.substr(0, log.find_last_of("/\\") + 1);
  }
  testing_support::TempDir dir_;
  testing_support::ScopedRoot root_{dir_.path()};
  std::string identity_;
};

TEST_F(ReadOnlyRoot, LogChannelOpensNoFileAndItsLinesLeaveTheFileAlone) {
  const std::string before = testing_support::ReadFile(LogFilePath());
  testing_support::ReadOnlyMedium medium({dir_.path(), LogFolder()});
  LogModule log(WIDE("Quorvil"));
  EXPECT_FALSE(log.HasFile());
  log.Print(WIDE("Quorvil InitModule()"));
  EXPECT_EQ(testing_support::ReadFile(LogFilePath()), before);
  EXPECT_FALSE(platform::MakeDirectories(dir_.path() + "/events"));
}

TEST_F(ReadOnlyRoot, CommandStillEndsWithItsResultAndReportsTheIdentity) {
  ASSERT_TRUE(testing_support::LocalServicePortIsFree());
  testing_support::DevconfPeer server(0);
  testing_support::DevconfPeer local(8000, {"--r", "23"});
  ASSERT_TRUE(server.running() && local.running());
  testing_support::ReadOnlyMedium medium({dir_.path(), LogFolder()});

  std::string attachment = "<Root/>";
  std::vector<int32_t> results;
  {
    ReceivedTemplateConfig command(&attachment, 0, FromUtf8(server.url("/status")), WIDE("7"));
    EXPECT_EQ(PostCommand(&command.host), 0);
    results = command.host.results;
  }
  EXPECT_EQ(results, std::vector<int32_t>{23});
  ASSERT_EQ(server.Requests().size(), 1u);
  // The map of the other address could not be written; the identity stands.
  EXPECT_EQ(server.Requests()[0].xIn,
            "<Root ID=\"" + identity_ + "\"><TaskStatusResponse><ScheduleId>7</ScheduleId>"
            "<Progress>100</Progress></TaskStatusResponse></Root>");
  EXPECT_FALSE(testing_support::FileExists(dir_.path() +
                                           "/registry/HKEY_LOCAL_MACHINE/Software/Korvane/Brem2009"));
}

}  // namespace
