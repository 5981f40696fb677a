// The system's own entries of the table on POSIX.
#include "platform/system_calls.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

int MakeFolder(const char* path, unsigned mode) {
  return ::mkdir(path, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

NativeFile OpenToWrite(const char* path, int flags, unsigned mode, int* error) {
  const int fd = ::open(path, flags, static_cast<mode_t>(mode));
  if (fd < 0) *error = errno;
  return fd;
}

long WriteGathered(NativeFile file, const ByteSpan* pieces, size_t count, int* error) {
  // A line is a few pieces.
  constexpr size_t kMostPieces = 16;
  iovec parts[kMostPieces];
  if (count > kMostPieces) {
    *error = EINVAL;
    return -1;
  }
  for (size_t i = 0; i < count; ++i) parts[i] = {const_cast<char*>(pieces[i].data), pieces[i].size};
  const ssize_t n = ::writev(static_cast<int>(file), parts, static_cast<int>(count));
  if (n < 0) *error = errno;
  return static_cast<long>(n);
}

int CheckWritable(const char* path) { return ::access(path, W_OK) == 0 ? 0 : errno; }

int HostName(char* buffer, size_t size) { return ::gethostname(buffer, size) == 0 ? 0 : errno; }

bool ResolveIPv4(const char* name, std::vector<IPv4Address>* addresses) {
  // gethostbyname_r keeps the resolver's order, where getaddrinfo re-sorts.
  std::vector<char> work(8192);
  struct hostent entry {};
  struct hostent* found = nullptr;
  int err = 0;
  for (;;) {
    const int rc = ::gethostbyname_r(name, &entry, work.data(), work.size(), &found, &err);
    if (rc == ERANGE && work.size() < (1u << 20)) {
      work.resize(work.size() * 2);
      continue;
    }
    if (rc != 0 || found == nullptr) return false;
    break;
  }
  if (found->h_addrtype != AF_INET || found->h_length != 4) return false;
  AppendIPv4Addresses(found->h_addr_list, addresses);
  return true;
}

}  // namespace

SystemCalls systemCalls = {MakeFolder, OpenToWrite, WriteGathered, CheckWritable, HostName, ResolveIPv4};

int ReadOnlyMediumError() { return EROFS; }

}  // namespace platform
