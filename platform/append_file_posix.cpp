#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

struct AppendFile {
  int fd;
};

AppendFile* OpenAppendFile(const std::string& path) {
  // O_APPEND moves to the end and writes in one step, for every writer.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return new AppendFile{fd};
}

size_t AppendOnce(AppendFile* file, const ByteSpan* pieces, size_t count) {
  // A line is a few pieces; more than this is a caller's mistake.
  constexpr size_t kMostPieces = 8;
  if (file == nullptr || count == 0 || count > kMostPieces) return 0;
  iovec parts[kMostPieces];
  for (size_t i = 0; i < count; ++i) {
    parts[i].iov_base = const_cast<char*>(pieces[i].data);
    parts[i].iov_len = pieces[i].size;
  }
  for (;;) {
    const ssize_t n = ::writev(file->fd, parts, static_cast<int>(count));
    if (n >= 0) return static_cast<size_t>(n);
    // Interrupted before anything was written: the whole write again.
    if (errno != EINTR) return 0;
  }
}

void CloseAppendFile(AppendFile* file) {
  if (file == nullptr) return;
  ::close(file->fd);
  delete file;
}

}  // namespace platform
