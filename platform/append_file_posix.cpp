#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace platform {

struct AppendFile {
  explicit AppendFile(int descriptor) : fd(descriptor) {}
  int fd;
  // Threads of this process share the descriptor, which flock does not tell
  // apart; other descriptors and processes are kept out by flock.
  std::mutex lock;
  // A cut line could not be taken back: the next one starts on a line of its own.
  bool lineOpen = false;
};

namespace {

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
constexpr mode_t kFileMode = 0644;

// Holds the file's lock while it lives; every writer of the file through
// this layer takes it, so between its writes and its look at the file's end
// no other line comes in.
class FileLock {
 public:
  explicit FileLock(int fd) : fd_(fd) {
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

// Writes all of `parts` at the end; answers the bytes written, fewer than
// asked when the system refused the rest (a full disk, a quota, a size limit).
size_t WriteAll(int fd, iovec* parts, int count) {
  size_t written = 0;
  while (count > 0) {
    const ssize_t n = ::writev(fd, parts, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
    // Skips what went out: whole pieces, then the start of the next one.
    size_t done = static_cast<size_t>(n);
    for (; count > 0 && done >= parts->iov_len; --count, ++parts) done -= parts->iov_len;
    if (count > 0) {
      parts->iov_base = static_cast<char*>(parts->iov_base) + done;
      parts->iov_len -= done;
    }
  }
  return written;
}

}  // namespace

AppendFile* OpenAppendFile(const std::string& path) {
  // A planted link must not send the log elsewhere, nor a FIFO or a device
  // stand in for it. A file made here is readable by all and writable by its
  // owner whatever the umask; one that exists keeps its mode.
  int fd = ::open(path.c_str(), kOpenFlags);
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, kFileMode);
    if (fd >= 0) {
      ::fchmod(fd, kFileMode);
    } else if (errno == EEXIST) {
      fd = ::open(path.c_str(), kOpenFlags);
    }
  }
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return new AppendFile(fd);
}

size_t AppendOnce(AppendFile* file, const ByteSpan* pieces, size_t count) {
  // A line is a few pieces; more than this is a caller's mistake.
  constexpr size_t kMostPieces = 8;
  if (file == nullptr || count == 0 || count > kMostPieces) return 0;
  std::lock_guard<std::mutex> threads(file->lock);
  FileLock others(file->fd);
  iovec parts[kMostPieces + 1];
  int used = 0;
  const size_t opening = file->lineOpen ? 2 : 0;
  if (opening > 0) parts[used++] = {const_cast<char*>("\r\n"), opening};
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) {
    parts[used++] = {const_cast<char*>(pieces[i].data), pieces[i].size};
    size += pieces[i].size;
  }
  const size_t written = WriteAll(file->fd, parts, used);
  if (written == opening + size) {
    file->lineOpen = false;
    return size;
  }
  // Cut short: the fragment is taken back while the file still ends with it,
  // which only a writer outside this layer can have changed. An O_APPEND
  // write leaves the offset at its own end.
  if (written > 0) {
    const off_t end = ::lseek(file->fd, 0, SEEK_CUR);
    struct stat st {};
    const bool ours = end >= 0 && ::fstat(file->fd, &st) == 0 && st.st_size == end;
    if (!ours || ::ftruncate(file->fd, end - static_cast<off_t>(written)) != 0) file->lineOpen = true;
  }
  return 0;
}

void CloseAppendFile(AppendFile* file) {
  if (file == nullptr) return;
  ::close(file->fd);
  delete file;
}

}  // namespace platform
