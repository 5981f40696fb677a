// A file shared by several writers, each write appended whole at its end.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

struct AppendFile;  // opaque

// Opens the file for appending, creating it when missing; null on failure.
AppendFile* OpenAppendFile(const std::string& path);
// Appends the bytes in one write, which the system keeps whole against the
// writes of other descriptors and processes. Answers the bytes written: all
// of them, fewer when the system took only part (a full disk), or 0.
size_t AppendOnce(AppendFile* file, const char* bytes, size_t size);
void CloseAppendFile(AppendFile* file);

}  // namespace platform
