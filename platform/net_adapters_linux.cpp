#include "platform/network.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/adapter_description.h"

namespace platform {

bool SystemAdapterNames(std::vector<std::string>* names) {
  struct if_nameindex* list = ::if_nameindex();
  if (list == nullptr) return false;
  std::vector<std::pair<unsigned, std::string>> found;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  for (struct if_nameindex* i = list; i->if_index != 0 && i->if_name != nullptr; ++i) {
    struct ifreq req {};
    std::strncpy(req.ifr_name, i->if_name, IFNAMSIZ - 1);
    if (fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &req) == 0 && (req.ifr_flags & IFF_LOOPBACK)) continue;
    found.emplace_back(i->if_index, i->if_name);
  }
  if (fd >= 0) ::close(fd);
  ::if_freenameindex(list);
  std::sort(found.begin(), found.end());
  for (auto& entry : found) names->push_back(entry.second);
  return !names->empty();
}

bool SystemPermanentAddress(const WideString& devicePath, uint8_t address[6]) {
  const std::string name = AdapterNameFromPath(devicePath);
  if (name.empty() || name.size() >= IFNAMSIZ) return false;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // struct ethtool_perm_addr followed by room for the longest hardware address.
  constexpr uint32_t kMaxAddrLen = 32;
  alignas(uint32_t) uint8_t request[2 * sizeof(uint32_t) + kMaxAddrLen] = {};
  const uint32_t head[2] = {ETHTOOL_GPERMADDR, kMaxAddrLen};
  std::memcpy(request, head, sizeof head);
  struct ifreq req {};
  std::strncpy(req.ifr_name, name.c_str(), IFNAMSIZ - 1);
  req.ifr_data = reinterpret_cast<char*>(request);
  uint32_t size = 0;
  const bool ok = ::ioctl(fd, SIOCETHTOOL, &req) == 0 &&
                  (std::memcpy(&size, request + sizeof(uint32_t), sizeof size), size == 6);
  ::close(fd);
  if (!ok) return false;
  std::memcpy(address, request + 2 * sizeof(uint32_t), 6);
  return true;
}

}  // namespace platform
