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

bool EnsureDir(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0777) == 0) {
    ::chmod(dir.c_str(), 01777);
    return true;
  }
  return errno == EEXIST;
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
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    if (!EnsureDir(root) || !EnsureDir(dir)) return nullptr;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) ::fchmod(fd, 0666);  // umask must not close the event to other users
  }
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
