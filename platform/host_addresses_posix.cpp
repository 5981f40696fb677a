#include "platform/host_addresses.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool LocalHostName(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return false;
  const size_t len = std::strlen(name);
  if (len + 1 > size) return false;
  std::memcpy(buffer, name, len + 1);
  return true;
}

std::vector<std::string> ResolveIPv4(const char* name) {
  std::vector<std::string> result;
  if (name == nullptr || *name == '\0') return result;
  // gethostbyname_r keeps the resolver's order, where getaddrinfo re-sorts.
  std::vector<char> work(8192);
  struct hostent entry {};
  struct hostent* found = nullptr;
  int err = 0;
  for (;;) {
    int rc = ::gethostbyname_r(name, &entry, work.data(), work.size(), &found, &err);
    if (rc == ERANGE && work.size() < (1u << 20)) {
      work.resize(work.size() * 2);
      continue;
    }
    if (rc != 0 || found == nullptr) return result;
    break;
  }
  if (found->h_addrtype != AF_INET || found->h_length != 4) return result;
  for (char** addr = found->h_addr_list; addr != nullptr && *addr != nullptr; ++addr) {
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, *addr, text, sizeof text) != nullptr) result.emplace_back(text);
  }
  return result;
}

}  // namespace platform
