// The host name and its addresses, as the system's calls give them.
#include "platform/network.h"

#include <cstring>

#include "platform/system_calls.h"

namespace platform {

void AppendIPv4Addresses(char* const* list, std::vector<IPv4Address>* addresses) {
  for (char* const* addr = list; addr != nullptr && *addr != nullptr; ++addr) {
    IPv4Address a;
    std::memcpy(a.data(), *addr, a.size());
    addresses->push_back(a);
  }
}

bool LocalHostName(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  char name[256] = {};
  if (systemCalls.hostName(name, sizeof name - 1) != 0) return false;
  const size_t len = std::strlen(name);
  if (len + 1 > size) return false;
  std::memcpy(buffer, name, len + 1);
  return true;
}

std::vector<std::string> ResolveIPv4(const char* name) {
  std::vector<std::string> result;
  if (name == nullptr || *name == '\0') return result;
  std::vector<IPv4Address> addresses;
  if (!systemCalls.resolveIPv4(name, &addresses)) return result;
  for (const IPv4Address& a : addresses) {
    result.push_back(std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
                     std::to_string(a[2]) + "." + std::to_string(a[3]));
  }
  return result;
}

}  // namespace platform
