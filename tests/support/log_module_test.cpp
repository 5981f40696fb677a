#include "support/log_module.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedRoot;
using testing_support::TempDir;

const char kSwitchKey[] = "Software\\Korvane\\LogModule";

class LogModuleTest : public ::testing::Test {
 protected:
  LogModuleTest() : root_(dir_.path()) {}
  // Where the log file and the registry are the machine's own, shared by
  // every test, each starts with an empty log (which another channel of this
  // process may hold open, so it cannot be removed) and no switch.
  void SetUp() override {
    if (!testing_support::MachineStateIsShared()) return;
    testing_support::WriteFile(LogFilePath(), "");
    ASSERT_EQ(ReadFile(LogFilePath()), "");
    ASSERT_TRUE(platform::RegKey::Delete(kSwitchKey));
  }
  void TearDown() override {
    if (testing_support::MachineStateIsShared()) platform::RegKey::Delete(kSwitchKey);
  }
  std::string LogText() { return ReadFile(LogFilePath()); }
  void SwitchOff(const std::string& channel) {
    auto key = platform::RegKey::Create(kSwitchKey, platform::RegAccess::kAll);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue(channel, platform::kRegSz, WIDE(""), sizeof(WideChar)));
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

TEST_F(LogModuleTest, UnopenableFileSendsOneNoticeThenEveryLineToDebugOutput) {
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

// Threads on one instance and on instances of their own at once, with lines
// far larger than any stream buffer: every line reaches the file whole.
TEST_F(LogModuleTest, ConcurrentWritersNeverTearOrMixALine) {
  constexpr int kThreads = 8;
  constexpr int kLines = 10;
  constexpr size_t kLong = 200 * 1024;
  LogModule shared(WIDE("Quorvil"));
  std::vector<std::unique_ptr<LogModule>> own;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    LogModule* log = &shared;
    if (t % 2 == 1) {
      own.push_back(std::make_unique<LogModule>(WIDE("Quorvil")));
      log = own.back().get();
    }
    threads.emplace_back([log, t] {
      const WideString body(kLong, static_cast<WideChar>(WIDE('a') + t));
      for (int i = 0; i < kLines; ++i) {
        log->Print(WIDE("-----xIn:%s"), body.c_str());
        log->Print(WIDE("%d:%s"), t, WIDE("short"));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::string bad;
  const std::vector<std::string> messages = testing_support::LogMessages(LogText(), &bad);
  ASSERT_EQ(bad, "") << "a line without its prefix or its end";
  int longLines = 0, shortLines = 0;
  for (const std::string& message : messages) {
    if (message.size() == 7 && message[0] >= '0' && message[0] < '0' + kThreads &&
        message.compare(1, 6, ":short") == 0) {
      ++shortLines;
      continue;
    }
    ASSERT_EQ(message.size(), 9 + kLong) << message.substr(0, 80);
    ASSERT_EQ(message.compare(0, 9, "-----xIn:"), 0) << message.substr(0, 80);
    ASSERT_EQ(message.find_first_not_of(message[9], 9), std::string::npos)
        << "a line holds pieces of two messages";
    ++longLines;
  }
  EXPECT_EQ(longLines, kThreads * kLines);
  EXPECT_EQ(shortLines, kThreads * kLines);
}

}  // namespace
