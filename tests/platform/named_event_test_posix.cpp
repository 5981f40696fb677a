#include "platform/named_event.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/files.h"
#include "platform/registry.h"
#include "support/named_lock.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::ScopedRoot;
using testing_support::TempDir;

TEST(NamedEvent, FirstUserFindsItSignalled) {
  TempDir dir;
  ScopedRoot root(dir.path());
  platform::NamedEvent h("h_Proxylock");
  ASSERT_TRUE(h.is_open());
  EXPECT_TRUE(h.Wait());
  EXPECT_TRUE(h.Set());
  EXPECT_TRUE(testing_support::FileExists(dir.path() + "/events/h_Proxylock"));
}

TEST(NamedEvent, NamesThatAreNotPlainFileNamesAreRefused) {
  TempDir dir;
  ScopedRoot root(dir.path());
  EXPECT_FALSE(platform::NamedEvent("").is_open());
  EXPECT_FALSE(platform::NamedEvent("../x").is_open());
  EXPECT_FALSE(platform::NamedEvent().Wait());
}

// Whether another descriptor of the lock file could take the lock now; asks
// without waiting.
bool LockFileIsFree(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

TEST(NamedEvent, SecondThreadWaitsUntilFirstSets) {
  testing_support::Deadline deadline("SecondThreadWaitsUntilFirstSets", 20);
  TempDir dir;
  ScopedRoot root(dir.path());
  platform::NamedEvent first("lock");
  ASSERT_TRUE(first.Wait());
  std::atomic<bool> released{false};
  std::atomic<bool> acquiredAfterRelease{false};
  std::thread other([&] {
    platform::NamedEvent second("lock");
    acquiredAfterRelease = second.Wait() && released;
    second.Set();
  });
  // Taken while held, as a descriptor of its own finds without waiting.
  EXPECT_FALSE(LockFileIsFree(dir.path() + "/events/lock"));
  released = true;
  first.Set();
  other.join();
  EXPECT_TRUE(acquiredAfterRelease);
  EXPECT_TRUE(LockFileIsFree(dir.path() + "/events/lock"));
}

// Only the events folder is open to every user; the machine root and the
// registry stay their creator's, so no one else can plant settings there.
TEST(NamedEvent, FreshMachineRootIsOpenToOthersOnlyInTheEventsFolder) {
  TempDir dir;
  const std::string machineRoot = dir.path() + "/new/root";
  ScopedRoot root(machineRoot);
  const mode_t previous = ::umask(0);
  platform::NamedEvent h("h_Proxylock");
  const bool keyMade = platform::RegKey::Create("Software\\Korvane\\LogModule",
                                                platform::RegAccess::kAll) != nullptr;
  ::umask(previous);
  ASSERT_TRUE(h.is_open());
  ASSERT_TRUE(keyMade);
  auto modeOf = [](const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
  };
  EXPECT_EQ(modeOf(machineRoot), 0755u);
  EXPECT_EQ(modeOf(machineRoot + "/events"), 01777u);
  EXPECT_EQ(modeOf(machineRoot + "/events/h_Proxylock"), 0666u);
  for (const char* key : {"/registry", "/registry/HKEY_LOCAL_MACHINE",
                          "/registry/HKEY_LOCAL_MACHINE/Software/Korvane/LogModule"}) {
    EXPECT_EQ(modeOf(machineRoot + key), 0755u) << key;
  }
}

// A link planted in the events folder does not redirect the lock: the
// opening is refused, nothing is created or taken at the link's target, and
// the guarded work runs unguarded as it does without an event.
TEST(NamedEvent, PlantedLinkOrFifoIsRefused) {
  TempDir dir;
  ScopedRoot root(dir.path());
  ASSERT_TRUE(platform::MakeDirectories(dir.path() + "/events"));
  const std::string target = dir.path() + "/victim";
  ASSERT_EQ(::symlink(target.c_str(), (dir.path() + "/events/h_Proxylock").c_str()), 0);
  EXPECT_FALSE(platform::NamedEvent("h_Proxylock").is_open());
  EXPECT_FALSE(testing_support::FileExists(target));
  testing_support::WriteFile(target, "settings");
  EXPECT_FALSE(platform::NamedEvent("h_Proxylock").is_open());
  {
    NamedLockGuard guard(WIDE("h_Proxylock"));
    EXPECT_FALSE(guard.held());
    EXPECT_TRUE(LockFileIsFree(target));
  }
  EXPECT_EQ(testing_support::ReadFile(target), "settings");

  ASSERT_EQ(::mkfifo((dir.path() + "/events/h_TryGetIpLock_uuid").c_str(), 0666), 0);
  EXPECT_FALSE(platform::NamedEvent("h_TryGetIpLock_uuid").is_open());
  // Other names still lock.
  NamedLockGuard other(WIDE("lock"));
  EXPECT_TRUE(other.held());
}

TEST(NamedEvent, HolderKilledWithSigkillFreesTheLock) {
  testing_support::Deadline deadline("HolderKilledWithSigkillFreesTheLock", 20);
  TempDir dir;
  ScopedRoot root(dir.path());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  if (child == 0) {
    platform::NamedEvent h("h_TryGetIpLock_uuid");
    h.Wait();
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
  platform::NamedEvent h("h_TryGetIpLock_uuid");
  EXPECT_TRUE(h.Wait());
  h.Set();
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
