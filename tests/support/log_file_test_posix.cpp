// The log file on a real small disk filled up, under a real file size limit,
// under any umask and behind a planted link. (A full disk on every system,
// through the system-call table: log_full_disk_test.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/log_module.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedRoot;
using testing_support::TempDir;

void WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// In a child process: prepares the file system (answering why it cannot, or
// ""), ignores SIGXFSZ, logs a line, runs out of room for the next, logs a
// short one, gets the room back and logs a last line. Answers the log as it
// was left, or "unsupported: " and the reason.
std::string LogThroughAFullDisk(const std::string& root, const std::function<std::string()>& prepare,
                                const std::function<void()> full, const std::function<void()> room) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe[0]);
    const std::string unsupported = prepare();
    if (!unsupported.empty()) {
      WriteAll(pipe[1], "unsupported: " + unsupported);
      ::_exit(0);
    }
    ::signal(SIGXFSZ, SIG_IGN);
    ScopedRoot scope(root);
    platform::MakeDirectories(root + "/drive_c");
    {
      LogModule log(WIDE("Quorvil"));
      log.Print(WIDE("first"));
      full();
      log.Print(WIDE("%s"), WideString(8000, WIDE('x')).c_str());
      log.Print(WIDE("short"));
      room();
      log.Print(WIDE("%s"), WideString(5000, WIDE('y')).c_str());
    }
    WriteAll(pipe[1], ReadFile(LogFilePath()));
    ::_exit(0);
  }
  ::close(pipe[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return text;
}

void ExpectEveryLineWhole(const std::string& log) {
  std::string bad;
  const std::vector<std::string> messages = testing_support::LogMessages(log, &bad);
  EXPECT_EQ(bad, "");
  EXPECT_EQ(messages, (std::vector<std::string>{"first", "short", std::string(5000, 'y')}));
}

// The line that does not fit under the file size limit is taken back whole:
// the next one starts where it would have started.
TEST(LogFile, LineTheSizeLimitCannotHoldLeavesNoFragmentForTheNextLine) {
  {
    TempDir dir;
    rlimit limit {};
    const std::string log = LogThroughAFullDisk(
        dir.path(), [] { return std::string(); },
        [&] {
          ::getrlimit(RLIMIT_FSIZE, &limit);
          struct stat st {};
          ::stat(LogFilePath().c_str(), &st);
          rlimit small = limit;
          small.rlim_cur = static_cast<rlim_t>(st.st_size) + 100;
          ::setrlimit(RLIMIT_FSIZE, &small);
        },
        [&] { ::setrlimit(RLIMIT_FSIZE, &limit); });
    ExpectEveryLineWhole(log);
  }
}

// A small file system the child mounts in a namespace of its own and fills:
// the line the disk holds only in part is taken back.
TEST(LogFile, LineASmallDiskCannotHoldLeavesNoFragmentForTheNextLine) {
  TempDir dir;
  const std::string root = dir.path() + "/small";
  ::mkdir(root.c_str(), 0755);
  const std::string filler = root + "/filler";
  const std::string log = LogThroughAFullDisk(
      root,
      [&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0) {
          // Without the right to mount: as root of a user namespace of our own.
          const std::string uid = std::to_string(::getuid()), gid = std::to_string(::getgid());
          if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            return std::string("no mount namespace: ") + std::strerror(errno);
          }
          testing_support::WriteFile("/proc/self/setgroups", "deny");
          testing_support::WriteFile("/proc/self/uid_map", "0 " + uid + " 1");
          testing_support::WriteFile("/proc/self/gid_map", "0 " + gid + " 1");
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("quorvil-test", root.c_str(), "tmpfs", 0, "size=64k") != 0) {
          return std::string("a tmpfs cannot be mounted: ") + std::strerror(errno);
        }
        return std::string();
      },
      [&] {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
      },
      [&] { ::unlink(filler.c_str()); });
  if (log.compare(0, 13, "unsupported: ") == 0) GTEST_SKIP() << log;
  ExpectEveryLineWhole(log);
}

// A umask of 000 does not make the log writable by all, and a link planted
// where the log belongs is not followed: the lines go to the debug output.
TEST(LogFile, IsMadeReadableByAllWritableByItsOwnerAndNeverOpenedThroughALink) {
  TempDir dir;
  ScopedRoot scope(dir.path());
  platform::MakeDirectories(dir.path() + "/drive_c");
  const mode_t umask = ::umask(0);
  { LogModule log(WIDE("Quorvil")); }
  ::umask(umask);
  struct stat st {};
  ASSERT_EQ(::stat(LogFilePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  ::unlink(LogFilePath().c_str());
  const std::string target = dir.path() + "/elsewhere";
  testing_support::WriteFile(target, "");
  ASSERT_EQ(::symlink(target.c_str(), LogFilePath().c_str()), 0);
  testing::internal::CaptureStderr();
  {
    LogModule log(WIDE("Quorvil"));
    log.Print(WIDE("kept off the link"));
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("kept off the link"), std::string::npos);
  EXPECT_EQ(ReadFile(target), "");
}

}  // namespace
