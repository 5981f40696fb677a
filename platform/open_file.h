// Opening a file by its wide path, as the system's C runtime does with
// _wfopen: a path outside the ANSI code page still names the right file.
#pragma once

#include <cstdio>

#include "platform/wide.h"

namespace platform {

// A C runtime stream of the file, opened with the fopen `mode`; null on failure.
std::FILE* OpenFile(const WideString& path, const char* mode);
// A descriptor reading the file as bytes, for read() and close(); negative
// with errno set on failure.
int OpenToRead(const WideString& path);

}  // namespace platform
