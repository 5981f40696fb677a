// Files and folders: the machine root that stands for the Windows machine's
// fixed places, folders, files opened by their wide paths, and the file that
// several writers append whole lines to.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/system_calls.h"
#include "platform/wide.h"

namespace platform {

// $QUORVIL_ROOT, or /var/lib/quorvil when unset; no trailing slash.
std::string MachineRoot();

// "C:\a\b" -> "$QUORVIL_ROOT/drive_c/a/b". A path without a drive letter is
// returned with its backslashes turned into slashes.
std::string NativePath(const std::string& windowsPath);

// A native path as the system writes it for people: "C:\runtime.log" on
// Windows, the path itself elsewhere.
std::string DisplayPath(const std::string& nativePath);

// Creates the folder and its missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& dir);

// Opening a file by its wide path, as the system's C runtime does with
// _wfopen: a path outside the ANSI code page still names the right file.
// A C runtime stream of the file, opened with the fopen `mode`; null on failure.
std::FILE* OpenFile(const WideString& path, const char* mode);

// Reads the file named by its wide path as bytes, appending to `bytes` until
// it ends or `bytes` holds more than `limit`; false with errno set when it
// cannot be opened or read.
bool ReadFileBytes(const WideString& path, std::string* bytes, size_t limit = static_cast<size_t>(-1));

// A file shared by several writers, each write appended whole at its end.
class AppendFile {
 public:
  AppendFile();
  // Opens the file for appending, creating it when missing; !is_open() on
  // failure. On POSIX a link is not followed, only a regular file is opened,
  // and a file made here is readable by all and writable by its owner
  // whatever the umask.
  explicit AppendFile(const std::string& path);
  ~AppendFile();
  AppendFile(AppendFile&& other) noexcept;
  AppendFile& operator=(AppendFile&& other) noexcept;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool is_open() const { return state_ != nullptr; }

  // Appends the pieces, one after the other, in one write, which the system
  // keeps whole against the writes of other descriptors and processes.
  // Answers the bytes written: all of them, or 0. A line the system took only
  // in part (a full disk, a quota, a size limit) is taken back on POSIX,
  // where every writer through this layer locks the file; where that cannot
  // be done, the next line of this file starts on a line of its own. POSIX
  // gathers the pieces without a copy (writev); Windows, whose gathered
  // writes need unbuffered page-aligned I/O, copies them into one buffer
  // first and writes nothing when that buffer cannot be had.
  size_t AppendOnce(const ByteSpan* pieces, size_t count) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
