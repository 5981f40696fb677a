#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>

namespace platform {

struct AppendFile::State {
  explicit State(int descriptor) : fd(descriptor) {}
  ~State() { ::close(fd); }
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
size_t WriteAll(int fd, ByteSpan* parts, size_t count) {
  size_t written = 0;
  while (count > 0) {
    int error = 0;
    const long n = systemCalls.writeGathered(fd, parts, count, &error);
    if (n < 0 && error == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
    // Skips what went out: whole pieces, then the start of the next one.
    size_t done = static_cast<size_t>(n);
    for (; count > 0 && done >= parts->size; --count, ++parts) done -= parts->size;
    if (count > 0) {
      parts->data += done;
      parts->size -= done;
    }
  }
  return written;
}

int Open(const std::string& path, int flags, int* error) {
  return static_cast<int>(systemCalls.openToWrite(path.c_str(), flags, kFileMode, error));
}

}  // namespace

AppendFile::AppendFile(const std::string& path) {
  // A planted link must not send the log elsewhere, nor a FIFO or a device
  // stand in for it. A file made here is readable by all and writable by its
  // owner whatever the umask; one that exists keeps its mode.
  int error = 0;
  int fd = Open(path, kOpenFlags, &error);
  if (fd < 0 && error == ENOENT) {
    fd = Open(path, kOpenFlags | O_CREAT | O_EXCL, &error);
    if (fd >= 0) {
      ::fchmod(fd, kFileMode);
    } else if (error == EEXIST) {
      fd = Open(path, kOpenFlags, &error);
    }
  }
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return;
  }
  state_ = std::make_unique<State>(fd);
}

AppendFile::AppendFile() = default;
AppendFile::~AppendFile() = default;

AppendFile::AppendFile(AppendFile&&) noexcept = default;
AppendFile& AppendFile::operator=(AppendFile&&) noexcept = default;

size_t AppendFile::AppendOnce(const ByteSpan* pieces, size_t count) const {
  // A line is a few pieces; more than this is a caller's mistake.
  constexpr size_t kMostPieces = 8;
  State* const file = state_.get();
  if (file == nullptr || count == 0 || count > kMostPieces) return 0;
  std::lock_guard<std::mutex> threads(file->lock);
  FileLock others(file->fd);
  ByteSpan parts[kMostPieces + 1];
  size_t used = 0;
  const size_t opening = file->lineOpen ? 2 : 0;
  if (opening > 0) parts[used++] = {"\r\n", opening};
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) {
    parts[used++] = pieces[i];
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

}  // namespace platform
