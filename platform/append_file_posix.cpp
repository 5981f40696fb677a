#include "platform/append_file.h"

#include <fcntl.h>
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

size_t AppendOnce(AppendFile* file, const char* bytes, size_t size) {
  if (file == nullptr || size == 0) return 0;
  for (;;) {
    const ssize_t n = ::write(file->fd, bytes, size);
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
