#include "support/log_module.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/machine_root.h"
#include "platform/registry.h"
#include "tests/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedRoot;
using testing_support::TempDir;

const char kSwitchKey[] = "Software\\Korvane\\LogModule";

class LogModuleTest : public ::testing::Test {
 protected:
  LogModuleTest() : root_(dir_.path()) {}
#ifdef _WIN32
  // The log file and the registry are the machine's own, shared by every
  // test: each starts with an empty log (which another channel of this
  // process may hold open, so it cannot be removed) and no switch.
  void SetUp() override {
    testing_support::WriteFile(LogFilePath(), "");
    ASSERT_EQ(ReadFile(LogFilePath()), "");
    ASSERT_TRUE(platform::RegKey::Delete(kSwitchKey));
  }
  void TearDown() override { platform::RegKey::Delete(kSwitchKey); }
#endif
  std::string LogText() { return ReadFile(LogFilePath()); }
  void SwitchOff(const std::string& channel) {
#ifdef _WIN32
    auto key = platform::RegKey::Create(kSwitchKey, platform::RegAccess::kAll);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue(channel, platform::kRegSz, WIDE(""), sizeof(WideChar)));
#else
    const std::string key = dir_.path() + "/registry/HKEY_LOCAL_MACHINE/Software/Korvane/LogModule";
    ASSERT_TRUE(platform::MakeDirectories(key));
    testing_support::WriteFile(key + "/" + channel, "");
#endif
  }
  TempDir dir_;
  ScopedRoot root_;
};

TEST_F(LogModuleTest, LineHasTimeChannelAndCrLfAndIsOnDiskAtOnce) {
  LogModule log(WIDE("Quorvil"));
  log.Print(WIDE("endpoint:%s"), WIDE("http://127.0.0.1:8000"));
  EXPECT_TRUE(std::regex_match(
      LogText(), std::regex(R"(\[\d\d:\d\d:\d\d\]\[Quorvil\]INFO:endpoint:http://127\.0\.0\.1:8000\r\n)")))
      << LogText();
}

TEST_F(LogModuleTest, ExistingLogIsAppendedToAndBothChannelsShareTheFile) {
  const std::string path = LogFilePath();
  platform::MakeDirectories(path.substr(0, path.rfind('/')));
  testing_support::WriteFile(path, "old line\r\n");
  LogModule a(WIDE("Quorvil"));
  LogModule b(WIDE("DbgPlugin"));
  a.Print(WIDE("one"));
  b.Print(WIDE("two"));
  a.Print(WIDE("three"));
  EXPECT_TRUE(std::regex_match(LogText(), std::regex("old line\r\n"
                                                     R"(\[[0-9:]{8}\]\[Quorvil\]INFO:one\r\n)"
                                                     R"(\[[0-9:]{8}\]\[DbgPlugin\]INFO:two\r\n)"
                                                     R"(\[[0-9:]{8}\]\[Quorvil\]INFO:three\r\n)")))
      << LogText();
}

TEST_F(LogModuleTest, EmptyMessageWritesCrLfAlone) {
  LogModule log(WIDE("Quorvil"));
  log.Print(WIDE("%s"), WIDE(""));
  log.Print(WIDE(""));
  EXPECT_EQ(LogText(), "\r\n\r\n");
}

TEST_F(LogModuleTest, RegistryValueSwitchesOffOnlyItsChannel) {
  SwitchOff("quorvil");  // names match without regard to case
  LogModule main(WIDE("Quorvil"));
  LogModule dbg(WIDE("DbgPlugin"));
  EXPECT_TRUE(main.IsDisabled());
  EXPECT_FALSE(main.HasFile());
  main.Print(WIDE("hidden"));
  dbg.Print(WIDE("shown"));
  EXPECT_EQ(LogText().find("hidden"), std::string::npos);
  EXPECT_NE(LogText().find("[DbgPlugin]INFO:shown\r\n"), std::string::npos);
}

#ifdef _WIN32
#define SKIP_WITHOUT_DEBUG_OUTPUT_ON_STDERR()                                                     \
  GTEST_SKIP() << "this program's own log channels hold C:\\runtime.log open, so it cannot be " \
                  "made unopenable, and debug output goes to OutputDebugStringW, not standard error"
#else
#define SKIP_WITHOUT_DEBUG_OUTPUT_ON_STDERR()
#endif

TEST_F(LogModuleTest, UnopenableFileSendsOneNoticeThenEveryLineToDebugOutput) {
  SKIP_WITHOUT_DEBUG_OUTPUT_ON_STDERR();
  ASSERT_TRUE(platform::MakeDirectories(LogFilePath()));
  testing::internal::CaptureStderr();
  {
    LogModule log(WIDE("Quorvil"));
    log.Print(WIDE("first %d"), 1);
    log.Print(WIDE("second"));
  }
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string notice = "Cannot open log file:" + LogFilePath() +
                             ", redirect the log using OutputDebugString().\r\n";
  EXPECT_TRUE(std::regex_match(err, std::regex(std::regex_replace(notice, std::regex(R"([.()\\])"), R"(\$&)") +
                                               R"(\[[0-9:]{8}\]\[Quorvil\]INFO:first 1\r\n)"
                                               R"(\[[0-9:]{8}\]\[Quorvil\]INFO:second\r\n)")))
      << err;
}

TEST_F(LogModuleTest, DisabledChannelWritesNotEvenToDebugOutput) {
  SKIP_WITHOUT_DEBUG_OUTPUT_ON_STDERR();
  SwitchOff("Quorvil");
  ASSERT_TRUE(platform::MakeDirectories(LogFilePath()));
  testing::internal::CaptureStderr();
  {
    LogModule log(WIDE("Quorvil"));
    log.Print(WIDE("nothing"));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(LogModuleTest, LongMessagesArePrintedWhole) {
  LogModule log(WIDE("Quorvil"));
  const WideString big(20000, WIDE('m'));
  log.Print(WIDE("%s"), big.c_str());
  EXPECT_NE(LogText().find(std::string(20000, 'm') + "\r\n"), std::string::npos);
}

}  // namespace
