#include "platform/append_file.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "platform/utf.h"

namespace platform {

struct AppendFile {
  HANDLE handle;
  // Windows appends each WriteFile whole, but Wine loses bytes when threads
  // append through one handle at once; the lock costs nothing uncontended.
  SRWLOCK lock;
  // A line was cut short: the next one starts on a line of its own. Taking
  // the fragment back (SetEndOfFile) needs write access, under which a write
  // no longer lands at the end by itself.
  bool lineOpen;
};

AppendFile* OpenAppendFile(const std::string& path) {
  const WideString wide = Utf8ToUtf16(path.data(), path.size());
  // Append access without write access: every WriteFile lands at the end of
  // the file in one step, whoever else writes to it.
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return new AppendFile{handle, SRWLOCK_INIT, false};
}

size_t AppendOnce(AppendFile* file, const ByteSpan* pieces, size_t count) {
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
  // A line of 4 GiB cannot be held by a 32-bit process; the bound only keeps
  // the count in range.
  const unsigned long long wanted = size;
  const DWORD length = static_cast<DWORD>(wanted < MAXDWORD ? wanted : MAXDWORD);
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file->handle, bytes, length, &written, nullptr);
  const bool whole = ok && written == length;
  if (whole) {
    file->lineOpen = false;
  } else if (written > 0) {
    file->lineOpen = true;
  }
  ::ReleaseSRWLockExclusive(&file->lock);
  return whole ? lineSize : 0;
}

void CloseAppendFile(AppendFile* file) {
  if (file == nullptr) return;
  ::CloseHandle(file->handle);
  delete file;
}

}  // namespace platform
