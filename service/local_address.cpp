#include "service/local_address.h"

#include <cstring>
#include <string>

#include "platform/network.h"
#include "service/proxy_settings.h"
#include "support/buffer_sizes.h"
#include "support/named_lock.h"

namespace {

constexpr size_t kHostNameSize = 32;

}  // namespace

int GetLocalAddressList(char* buffer) {
  // The proxy lock is taken and released before the address lock.
  std::string text = IsProxyEnabled() ? "1" : "0";
  {
    NamedLockGuard lock(WIDE("h_TryGetIpLock_uuid"));
    char name[kHostNameSize] = {};
    if (platform::LocalHostName(name, sizeof name)) {
      for (const std::string& address : platform::ResolveIPv4(name)) {
        if (text.size() + 1 + address.size() >= kTextBufferSize) break;
        text += "," + address;
      }
    }
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 0;
}
