#include "platform/named_event.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/files.h"
#include "platform/system_calls.h"

namespace platform {

// An event is a lock file; signalled means no descriptor holds its flock.
// Each opening has a descriptor of its own, so threads exclude each other too,
// and the kernel frees the lock of a holder that dies.
struct NamedEvent::State {
  explicit State(int descriptor) : fd(descriptor) {}
  ~State() { ::close(fd); }
  int fd;
  bool held = false;
};

namespace {

// Every user's process creates lock files here, so it is open to all like
// /tmp, and sticky so that no one removes another's. Only this folder: the
// machine root stays the creator's, or anyone could plant settings there.
bool EnsureEventsDir(const std::string& dir) {
  const int error = systemCalls.makeFolder(dir.c_str(), 0777);
  if (error == 0) {
    ::chmod(dir.c_str(), 01777);
    return true;
  }
  return error == EEXIST;
}

// A planted symbolic link must not redirect the lock, nor a planted FIFO or
// device stand in for it: only a regular file is a lock file.
// Openings that may write go through the system-call table.
int OpenLockFile(const std::string& path, int flags) {
  flags |= O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd;
  if ((flags & O_ACCMODE) == O_RDONLY) {
    fd = ::open(path.c_str(), flags);
  } else {
    int error = 0;
    fd = static_cast<int>(systemCalls.openToWrite(path.c_str(), flags, 0666, &error));
    if (fd < 0) errno = error;
  }
  if (fd < 0) return fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = ELOOP;
    return -1;
  }
  return fd;
}

}  // namespace

NamedEvent::NamedEvent(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return;
  const std::string root = MachineRoot();
  const std::string dir = root + "/events";
  const std::string path = dir + "/" + name;
  // Most openings find the event there already: open it as it is.
  int fd = OpenLockFile(path, O_RDWR);
  if (fd < 0 && errno == ENOENT) {
    if (!MakeDirectories(root) || !EnsureEventsDir(dir)) return;
    fd = OpenLockFile(path, O_RDWR | O_CREAT);
    if (fd >= 0) ::fchmod(fd, 0666);  // umask must not close the event to other users
  }
  // Another user's lock file, or a read-only root, may give reading only;
  // flock works on that too.
  if (fd < 0 && errno != ELOOP) fd = OpenLockFile(path, O_RDONLY);
  // Nothing to lock (a planted link among them): the callers run unguarded.
  if (fd < 0) return;
  state_ = std::make_unique<State>(fd);
}

NamedEvent::NamedEvent() = default;
NamedEvent::~NamedEvent() = default;

NamedEvent::NamedEvent(NamedEvent&&) noexcept = default;
NamedEvent& NamedEvent::operator=(NamedEvent&&) noexcept = default;

bool NamedEvent::Wait() {
  if (state_ == nullptr) return false;
  for (;;) {
    if (::flock(state_->fd, LOCK_EX) == 0) {
      state_->held = true;
      return true;
    }
    if (errno != EINTR) return false;
  }
}

bool NamedEvent::Set() {
  if (state_ == nullptr) return false;
  state_->held = false;
  return ::flock(state_->fd, LOCK_UN) == 0;
}

}  // namespace platform
