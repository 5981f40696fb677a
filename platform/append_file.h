// A file shared by several writers, each write appended whole at its end.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

struct AppendFile;  // opaque

struct ByteSpan {
  const char* data;
  size_t size;
};

// Opens the file for appending, creating it when missing; null on failure.
// On POSIX a link is not followed, only a regular file is opened, and a file
// made here is readable by all and writable by its owner whatever the umask.
AppendFile* OpenAppendFile(const std::string& path);
// Appends the pieces, one after the other, in one write, which the system
// keeps whole against the writes of other descriptors and processes. Answers
// the bytes written: all of them, or 0. A line the system took only in part
// (a full disk, a quota, a size limit) is taken back on POSIX, where every
// writer through this layer locks the file; where that cannot be done, the
// next line of this file starts on a line of its own. POSIX gathers the
// pieces without a copy (writev); Windows, whose gathered writes need
// unbuffered page-aligned I/O, copies them into one buffer first and writes
// nothing when that buffer cannot be had.
size_t AppendOnce(AppendFile* file, const ByteSpan* pieces, size_t count);
void CloseAppendFile(AppendFile* file);

}  // namespace platform
