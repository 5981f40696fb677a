// Text conversion, the agent folder and the named lock protocol.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/module_path.h"
#include "support/module_dir.h"
#include "support/named_lock.h"
#include "support/text_conversion.h"
#include "tests/common/test_support.h"
#include "text/utf.h"

namespace {

void TakeBothLocksInTurn() {
  for (int i = 0; i < 300; ++i) {
    { NamedLockGuard proxy(WIDE("h_Proxylock")); }
    { NamedLockGuard ip(WIDE("h_TryGetIpLock_uuid")); }
  }
}

// Each holder puts its mark down twice under the lock, with a pause between.
void MarkTwiceUnderTheLock(const std::string& trace, char mark) {
  for (int i = 0; i < 50; ++i) {
    NamedLockGuard guard(WIDE("h_Proxylock"));
    FILE* f = std::fopen(trace.c_str(), "a");
    std::fputc(mark, f);
    std::fflush(f);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::fputc(mark, f);
    std::fclose(f);
  }
}

// The second process is this program run again, as on a system that cannot
// fork: it does its part here, before the tests, and says when it has begun.
__attribute__((constructor)) void RunLockProbe() {
  const char* probe = std::getenv("QUORVIL_LOCK_PROBE");
  if (probe == nullptr) return;
  const std::string ready = std::getenv("QUORVIL_LOCK_READY");
  testing_support::WriteFile(ready, "ready");
  if (std::string(probe) == "turns") {
    TakeBothLocksInTurn();
  } else {
    MarkTwiceUnderTheLock(probe, 'c');
  }
  std::_Exit(0);
}

// Runs the probe in a second process alongside `work`, started once the
// probe has begun; answers the probe's exit code.
template <typename Work>
int AlongsideSecondProcess(const std::string& probe, const std::string& dir, Work work) {
  constexpr size_t kMaxPathUnits = 32768;
  const WideString self = platform::ExecutablePath(kMaxPathUnits);
  const std::string program = unicode::Utf16ToUtf8(self.data(), self.size());
  const std::string ready = dir + "/ready";
  int code = -1;
  std::thread child([&] {
    code = testing_support::RunProcess(
               {program}, {{"QUORVIL_LOCK_PROBE", probe}, {"QUORVIL_LOCK_READY", ready}})
               .exitCode;
  });
  for (int i = 0; i < 1000 && !testing_support::FileExists(ready); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  work();
  child.join();
  return code;
}

TEST(TextConversion, StopsAtTheFirstNulAndKeepsEverythingBefore) {
  EXPECT_EQ(ToUtf8(WideString(WIDE("ab\0cd"), 5)), "ab");
  EXPECT_EQ(FromUtf8(std::string("ab\0cd", 5)), WIDE("ab"));
  EXPECT_EQ(FromUtf8("x\xC3\xA9y", 3), WIDE("x\u00e9"));
  EXPECT_EQ(ToUtf8(static_cast<const WideChar*>(nullptr)), "");
  EXPECT_EQ(FromUtf8(static_cast<const char*>(nullptr)), WIDE(""));
  EXPECT_EQ(ToUtf8(WIDE("\u00e9")), "\xC3\xA9");
  EXPECT_EQ(ToUtf8(WIDE("\U00010348")).size(), 4u);
  EXPECT_EQ(FromUtf8("\xC3\xA9"), WIDE("\u00e9"));
  EXPECT_EQ(FromUtf8("a\xFF" "b"), WIDE("a\uFFFDb"));
}

TEST(ModuleDir, IsTheFolderOfTheRunningProgramWithTrailingSlash) {
  WideString folder = WIDE("untouched");
  const int length = GetModuleDir(folder);
  ASSERT_GT(length, 0);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), platform::kPathSeparator);
  EXPECT_GT(static_cast<size_t>(length), folder.size());
  const std::string narrow = ToUtf8(folder);
  const std::string program = testing_support::ProgramFileName("support_misc_test");
  EXPECT_TRUE(testing_support::FileExists(narrow + program)) << narrow;
}

TEST(NamedLock, SecondUserWaitsUntilFirstReleases) {
  testing_support::Deadline deadline("SecondUserWaitsUntilFirstReleases", 60);
  std::atomic<int> inside{0};
  std::atomic<int> maxInside{0};
  auto worker = [&] {
    for (int i = 0; i < 200; ++i) {
      NamedLockGuard guard(WIDE("h_Proxylock"));
      ASSERT_TRUE(guard.held());
      const int now = ++inside;
      if (now > maxInside) maxInside = now;
      std::this_thread::yield();
      --inside;
    }
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  EXPECT_EQ(maxInside, 1);
}

TEST(NamedLock, TwoProcessesTakingBothLocksInTurnNeverDeadlock) {
  testing_support::Deadline deadline("TwoProcessesTakingBothLocksInTurnNeverDeadlock", 60);
  testing_support::TempDir dir;
  EXPECT_EQ(AlongsideSecondProcess("turns", dir.path(), TakeBothLocksInTurn), 0);
}

TEST(NamedLock, TwoProcessesExcludeEachOther) {
  testing_support::Deadline deadline("TwoProcessesExcludeEachOther", 60);
  testing_support::TempDir dir;
  const std::string trace = dir.path() + "/trace";
  auto work = [&](char mark) { MarkTwiceUnderTheLock(trace, mark); };
  EXPECT_EQ(AlongsideSecondProcess(trace, dir.path(), [&] { work('p'); }), 0);
  const std::string text = testing_support::ReadFile(trace);
  ASSERT_EQ(text.size(), 200u);
  for (size_t i = 0; i < text.size(); i += 2) EXPECT_EQ(text[i], text[i + 1]) << "at " << i;
}

TEST(NamedLock, UnopenableEventRunsTheWorkUnguarded) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.path() + "/events", "a file where the folder should be");
  testing_support::ScopedRoot root(dir.path());
  EXPECT_FALSE(OpenNamedLock(WIDE("h_Proxylock")).is_open());
  NamedLockGuard guard(WIDE("h_Proxylock"));
  EXPECT_FALSE(guard.held());
}

}  // namespace
