#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "platform/files.h"

namespace platform {

struct AppendFile::State {
  explicit State(HANDLE h) : handle(h) {}
  ~State() { ::CloseHandle(handle); }
  HANDLE handle;
  // Windows appends each WriteFile whole, but Wine loses bytes when threads
  // append through one handle at once; the lock costs nothing uncontended.
  SRWLOCK lock = SRWLOCK_INIT;
  // A line was cut short: the next one starts on a line of its own. Taking
  // the fragment back (SetEndOfFile) needs write access, under which a write
  // no longer lands at the end by itself.
  bool lineOpen = false;
};

AppendFile::AppendFile(const std::string& path) {
  int error = 0;
  const NativeFile file = systemCalls.openToWrite(path.c_str(), OPEN_ALWAYS, 0, &error);
  if (file == kNoNativeFile) return;
  state_ = std::make_unique<State>(reinterpret_cast<HANDLE>(file));
}

AppendFile::AppendFile() = default;
AppendFile::~AppendFile() = default;

AppendFile::AppendFile(AppendFile&&) noexcept = default;
AppendFile& AppendFile::operator=(AppendFile&&) noexcept = default;

size_t AppendFile::AppendOnce(const ByteSpan* pieces, size_t count) const {
  State* const file = state_.get();
  if (file == nullptr || count == 0) return 0;
  ::AcquireSRWLockExclusive(&file->lock);
  const bool lineOpen = file->lineOpen;
  size_t lineSize = 0;
  for (size_t i = 0; i < count; ++i) lineSize += pieces[i].size;
  const size_t size = lineSize + (lineOpen ? 2 : 0);
  const char* bytes = pieces[0].data;
  std::unique_ptr<char[]> joined;
  if (count > 1 || lineOpen) {
    joined.reset(new (std::nothrow) char[size]);
    if (joined == nullptr) {
      ::ReleaseSRWLockExclusive(&file->lock);
      return 0;
    }
    size_t used = 0;
    if (lineOpen) {
      std::memcpy(joined.get(), "\r\n", 2);
      used = 2;
    }
    for (size_t i = 0; i < count; ++i) {
      std::memcpy(joined.get() + used, pieces[i].data, pieces[i].size);
      used += pieces[i].size;
    }
    bytes = joined.get();
  }
  const ByteSpan whole = {bytes, size};
  int error = 0;
  const long written = systemCalls.writeGathered(reinterpret_cast<NativeFile>(file->handle), &whole, 1, &error);
  const bool all = written >= 0 && static_cast<size_t>(written) == size;
  if (all) {
    file->lineOpen = false;
  } else if (written > 0) {
    file->lineOpen = true;
  }
  ::ReleaseSRWLockExclusive(&file->lock);
  return all ? lineSize : 0;
}

}  // namespace platform
