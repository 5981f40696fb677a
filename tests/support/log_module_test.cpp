#include "support/log_module.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "platform/machine_root.h"
#include "tests/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedRoot;
using testing_support::TempDir;

class LogModuleTest : public ::testing::Test {
 protected:
  LogModuleTest() : root_(dir_.path()) {}
  std::string LogText() { return ReadFile(dir_.path() + "/drive_c/runtime.log"); }
  void SwitchOff(const std::string& channel) {
    const std::string key = dir_.path() + "/registry/HKEY_LOCAL_MACHINE/Software/Korvane/LogModule";
    ASSERT_TRUE(platform::MakeDirectories(key));
    testing_support::WriteFile(key + "/" + channel, "");
  }
  TempDir dir_;
  ScopedRoot root_;
};

TEST_F(LogModuleTest, LineHasTimeChannelAndCrLfAndIsOnDiskAtOnce) {
  LogModule log(u"Quorvil");
  log.Print(u"endpoint:%s", u"http://127.0.0.1:8000");
  EXPECT_TRUE(std::regex_match(
      LogText(), std::regex(R"(\[\d\d:\d\d:\d\d\]\[Quorvil\]INFO:endpoint:http://127\.0\.0\.1:8000\r\n)")))
      << LogText();
}

TEST_F(LogModuleTest, ExistingLogIsAppendedToAndBothChannelsShareTheFile) {
  platform::MakeDirectories(dir_.path() + "/drive_c");
  testing_support::WriteFile(dir_.path() + "/drive_c/runtime.log", "old line\r\n");
  LogModule a(u"Quorvil");
  LogModule b(u"DbgPlugin");
  a.Print(u"one");
  b.Print(u"two");
  a.Print(u"three");
  EXPECT_TRUE(std::regex_match(LogText(), std::regex("old line\r\n"
                                                     R"(\[[0-9:]{8}\]\[Quorvil\]INFO:one\r\n)"
                                                     R"(\[[0-9:]{8}\]\[DbgPlugin\]INFO:two\r\n)"
                                                     R"(\[[0-9:]{8}\]\[Quorvil\]INFO:three\r\n)")))
      << LogText();
}

TEST_F(LogModuleTest, EmptyMessageWritesCrLfAlone) {
  LogModule log(u"Quorvil");
  log.Print(u"%s", u"");
  log.Print(u"");
  EXPECT_EQ(LogText(), "\r\n\r\n");
}

TEST_F(LogModuleTest, RegistryValueSwitchesOffOnlyItsChannel) {
  SwitchOff("quorvil");  // names match without regard to case
  LogModule main(u"Quorvil");
  LogModule dbg(u"DbgPlugin");
  EXPECT_TRUE(main.IsDisabled());
  EXPECT_FALSE(main.HasFile());
  main.Print(u"hidden");
  dbg.Print(u"shown");
  EXPECT_EQ(LogText().find("hidden"), std::string::npos);
  EXPECT_NE(LogText().find("[DbgPlugin]INFO:shown\r\n"), std::string::npos);
}

TEST_F(LogModuleTest, UnopenableFileSendsOneNoticeThenEveryLineToDebugOutput) {
  ASSERT_TRUE(platform::MakeDirectories(dir_.path() + "/drive_c/runtime.log"));
  testing::internal::CaptureStderr();
  {
    LogModule log(u"Quorvil");
    log.Print(u"first %d", 1);
    log.Print(u"second");
  }
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string notice = "Cannot open log file:" + dir_.path() +
                             "/drive_c/runtime.log, redirect the log using OutputDebugString().\r\n";
  EXPECT_TRUE(std::regex_match(err, std::regex(std::regex_replace(notice, std::regex(R"([.()\\])"), R"(\$&)") +
                                               R"(\[[0-9:]{8}\]\[Quorvil\]INFO:first 1\r\n)"
                                               R"(\[[0-9:]{8}\]\[Quorvil\]INFO:second\r\n)")))
      << err;
}

TEST_F(LogModuleTest, DisabledChannelWritesNotEvenToDebugOutput) {
  SwitchOff("Quorvil");
  ASSERT_TRUE(platform::MakeDirectories(dir_.path() + "/drive_c/runtime.log"));
  testing::internal::CaptureStderr();
  {
    LogModule log(u"Quorvil");
    log.Print(u"nothing");
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(LogModuleTest, LongMessagesArePrintedWhole) {
  LogModule log(u"Quorvil");
  const WideString big(20000, u'm');
  log.Print(u"%s", big.c_str());
  EXPECT_NE(LogText().find(std::string(20000, 'm') + "\r\n"), std::string::npos);
}

}  // namespace
