#include "platform/named_event.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/test_support.h"

namespace {

using testing_support::ScopedRoot;
using testing_support::TempDir;

TEST(NamedEvent, FirstUserFindsItSignalled) {
  TempDir dir;
  ScopedRoot root(dir.path());
  platform::NamedEventHandle* h = platform::OpenOrCreateNamedEvent("h_Proxylock");
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(platform::WaitNamedEvent(h));
  EXPECT_TRUE(platform::SetNamedEvent(h));
  platform::CloseNamedEvent(h);
  EXPECT_TRUE(testing_support::FileExists(dir.path() + "/events/h_Proxylock"));
}

TEST(NamedEvent, NamesThatAreNotPlainFileNamesAreRefused) {
  TempDir dir;
  ScopedRoot root(dir.path());
  EXPECT_EQ(platform::OpenOrCreateNamedEvent(""), nullptr);
  EXPECT_EQ(platform::OpenOrCreateNamedEvent("../x"), nullptr);
  EXPECT_FALSE(platform::WaitNamedEvent(nullptr));
}

TEST(NamedEvent, SecondThreadWaitsUntilFirstSets) {
  TempDir dir;
  ScopedRoot root(dir.path());
  platform::NamedEventHandle* first = platform::OpenOrCreateNamedEvent("lock");
  ASSERT_TRUE(platform::WaitNamedEvent(first));
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    platform::NamedEventHandle* second = platform::OpenOrCreateNamedEvent("lock");
    platform::WaitNamedEvent(second);
    acquired = true;
    platform::SetNamedEvent(second);
    platform::CloseNamedEvent(second);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(acquired);
  platform::SetNamedEvent(first);
  other.join();
  EXPECT_TRUE(acquired);
  platform::CloseNamedEvent(first);
}

TEST(NamedEvent, HolderKilledWithSigkillFreesTheLock) {
  TempDir dir;
  ScopedRoot root(dir.path());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  if (child == 0) {
    platform::NamedEventHandle* h = platform::OpenOrCreateNamedEvent("h_TryGetIpLock_uuid");
    platform::WaitNamedEvent(h);
    char c = 'x';
    (void)!::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  platform::NamedEventHandle* h = platform::OpenOrCreateNamedEvent("h_TryGetIpLock_uuid");
  EXPECT_TRUE(platform::WaitNamedEvent(h));
  platform::SetNamedEvent(h);
  platform::CloseNamedEvent(h);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
