// The system calls whose failures the tests must cause on any machine,
// without privileges: a machine root that cannot be written, a disk that
// fills up in the middle of a line, the host name and the resolver's answer.
// The layer makes exactly these calls through the table `systemCalls`; a test
// that links the layer swaps an entry for a stand-in (SystemCallsOverride)
// and the system's own comes back after it. The table has hidden visibility
// like everything else in the libraries: no DLL or shared object exports it,
// so no host can reach it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A file as the system knows it: a descriptor, or a Windows HANDLE.
using NativeFile = intptr_t;
constexpr NativeFile kNoNativeFile = -1;

// A piece of the bytes of one write.
struct ByteSpan {
  const char* data;
  size_t size;
};

using IPv4Address = std::array<uint8_t, 4>;

// Error codes answered by the entries are the system's own (errno values, or
// GetLastError codes); 0 is success.
struct SystemCalls {
  // Makes one folder (mkdir with `mode`, CreateDirectoryW); the code of an
  // existing folder is the system's "exists".
  int (*makeFolder)(const char* path, unsigned mode);
  // Opens a file to write (open with `flags` and `mode`; CreateFileW for
  // appending, `flags` its creation disposition): the file, or kNoNativeFile
  // with the error in `error`.
  NativeFile (*openToWrite)(const char* path, int flags, unsigned mode, int* error);
  // Writes the pieces one after the other (writev, WriteFile): the bytes
  // written, which may be fewer than asked, or -1 with the error in `error`.
  long (*writeGathered)(NativeFile file, const ByteSpan* pieces, size_t count, int* error);
  // Whether the folder may be written in (access W_OK): 0, or the error.
  // POSIX only: a Windows registry key's rights are checked by the registry.
  int (*checkWritable)(const char* path);
  // The host name, zero-terminated in `buffer` of `size` bytes (gethostname).
  int (*hostName)(char* buffer, size_t size);
  // The IPv4 addresses of a name in the resolver's order (gethostbyname);
  // false when it does not resolve.
  bool (*resolveIPv4)(const char* name, std::vector<IPv4Address>* addresses);
};

extern SystemCalls systemCalls;

// Appends a resolver's answer, a null-ended list of 4-byte addresses, for the
// systems' resolveIPv4 entries.
void AppendIPv4Addresses(char* const* list, std::vector<IPv4Address>* addresses);

// The error code of a write refused by a read-only medium (EROFS,
// ERROR_WRITE_PROTECT), for stand-ins to answer.
int ReadOnlyMediumError();

// For its lifetime the table may be changed at will; the system's own
// entries come back on destruction. Tests only.
class SystemCallsOverride {
 public:
  SystemCallsOverride() : saved_(systemCalls) {}
  ~SystemCallsOverride() { systemCalls = saved_; }
  SystemCallsOverride(const SystemCallsOverride&) = delete;
  SystemCallsOverride& operator=(const SystemCallsOverride&) = delete;
  // The system's own entries, for a stand-in that passes some calls on.
  const SystemCalls& system() const { return saved_; }

 private:
  SystemCalls saved_;
};

}  // namespace platform
