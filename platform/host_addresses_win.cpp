// The local host name and its IPv4 addresses through Winsock.
#include "platform/host_addresses.h"

#include <winsock2.h>

#include <cstring>

namespace platform {
namespace {

// Winsock must be started before its name functions answer; it stays up for
// the life of the module.
bool WinsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

}  // namespace

bool LocalHostName(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0 || !WinsockReady()) return false;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return false;
  const size_t len = std::strlen(name);
  if (len + 1 > size) return false;
  std::memcpy(buffer, name, len + 1);
  return true;
}

std::vector<std::string> ResolveIPv4(const char* name) {
  std::vector<std::string> result;
  if (name == nullptr || *name == '\0' || !WinsockReady()) return result;
  // gethostbyname keeps its answer per thread; it is copied out at once.
  const hostent* found = ::gethostbyname(name);
  if (found == nullptr || found->h_addrtype != AF_INET || found->h_length != 4) return result;
  for (char** addr = found->h_addr_list; addr != nullptr && *addr != nullptr; ++addr) {
    in_addr a;
    std::memcpy(&a, *addr, sizeof a);
    if (const char* text = ::inet_ntoa(a)) result.emplace_back(text);
  }
  return result;
}

}  // namespace platform
