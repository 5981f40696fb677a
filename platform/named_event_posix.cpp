#include "platform/named_event.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/machine_root.h"

namespace platform {

// An event is a lock file; signalled means no descriptor holds its flock.
// Each opening has a descriptor of its own, so threads exclude each other too,
// and the kernel frees the lock of a holder that dies.
struct NamedEventHandle {
  int fd;
  bool held;
};

namespace {

// Every user's process creates lock files here, so it is open to all like
// /tmp, and sticky so that no one removes another's. Only this folder: the
// machine root stays the creator's, or anyone could plant settings there.
bool EnsureEventsDir(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0777) == 0) {
    ::chmod(dir.c_str(), 01777);
    return true;
  }
  return errno == EEXIST;
}

// A planted symbolic link must not redirect the lock, nor a planted FIFO or
// device stand in for it: only a regular file is a lock file.
int OpenLockFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
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

NamedEventHandle* OpenOrCreateNamedEvent(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    return nullptr;
  }
  const std::string root = MachineRoot();
  const std::string dir = root + "/events";
  const std::string path = dir + "/" + name;
  // Most openings find the event there already: open it as it is.
  int fd = OpenLockFile(path, O_RDWR);
  if (fd < 0 && errno == ENOENT) {
    if (!MakeDirectories(root) || !EnsureEventsDir(dir)) return nullptr;
    fd = OpenLockFile(path, O_RDWR | O_CREAT);
    if (fd >= 0) ::fchmod(fd, 0666);  // umask must not close the event to other users
  }
  // Another user's lock file, or a read-only root, may give reading only;
  // flock works on that too.
  if (fd < 0 && errno != ELOOP) fd = OpenLockFile(path, O_RDONLY);
  // Nothing to lock (a planted link among them): the callers run unguarded.
  if (fd < 0) return nullptr;
  return new NamedEventHandle{fd, false};
}

bool WaitNamedEvent(NamedEventHandle* handle) {
  if (handle == nullptr) return false;
  for (;;) {
    if (::flock(handle->fd, LOCK_EX) == 0) {
      handle->held = true;
      return true;
    }
    if (errno != EINTR) return false;
  }
}

bool SetNamedEvent(NamedEventHandle* handle) {
  if (handle == nullptr) return false;
  handle->held = false;
  return ::flock(handle->fd, LOCK_UN) == 0;
}

void CloseNamedEvent(NamedEventHandle* handle) {
  if (handle == nullptr) return;
  ::close(handle->fd);
  delete handle;
}

}  // namespace platform
