// The system's own entries of the table on Windows.
#include "platform/system_calls.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "text/utf.h"

namespace platform {
namespace {

WideString Wide(const char* path) { return unicode::Utf8ToUtf16(path, std::strlen(path)); }

int MakeFolder(const char* path, unsigned) {
  return ::CreateDirectoryW(Wide(path).c_str(), nullptr) ? 0 : static_cast<int>(::GetLastError());
}

NativeFile OpenToWrite(const char* path, int flags, unsigned, int* error) {
  // Append access without write access: every WriteFile lands at the end of
  // the file in one step, whoever else writes to it.
  const HANDLE handle =
      ::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    static_cast<DWORD>(flags), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = static_cast<int>(::GetLastError());
    return kNoNativeFile;
  }
  return reinterpret_cast<NativeFile>(handle);
}

long WriteGathered(NativeFile file, const ByteSpan* pieces, size_t count, int* error) {
  long total = 0;
  for (size_t i = 0; i < count; ++i) {
    // A piece of 4 GiB cannot be held by a 32-bit process; the bound only
    // keeps the count in range.
    const unsigned long long wanted = pieces[i].size;
    const DWORD length = static_cast<DWORD>(wanted < MAXDWORD ? wanted : MAXDWORD);
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(reinterpret_cast<HANDLE>(file), pieces[i].data, length, &written, nullptr);
    total += static_cast<long>(written);
    if (!ok) {
      *error = static_cast<int>(::GetLastError());
      return total > 0 ? total : -1;
    }
    if (written < length) break;
  }
  return total;
}

int CheckWritable(const char*) { return 0; }

// Winsock must be started before its name functions answer; it stays up for
// the life of the module.
bool WinsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

int HostName(char* buffer, size_t size) {
  if (!WinsockReady()) return WSANOTINITIALISED;
  return ::gethostname(buffer, static_cast<int>(size)) == 0 ? 0 : ::WSAGetLastError();
}

bool ResolveIPv4(const char* name, std::vector<IPv4Address>* addresses) {
  if (!WinsockReady()) return false;
  // gethostbyname keeps its answer per thread; it is copied out at once.
  const hostent* found = ::gethostbyname(name);
  if (found == nullptr || found->h_addrtype != AF_INET || found->h_length != 4) return false;
  AppendIPv4Addresses(found->h_addr_list, addresses);
  return true;
}

}  // namespace

SystemCalls systemCalls = {MakeFolder, OpenToWrite, WriteGathered, CheckWritable, HostName, ResolveIPv4};

int ReadOnlyMediumError() { return ERROR_WRITE_PROTECT; }

}  // namespace platform
