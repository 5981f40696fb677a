#include "support/machine_id.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/network.h"
#include "platform/registry.h"
#include "support/buffer_sizes.h"
#include "support/format_string.h"
#include "support/text_conversion.h"

namespace {

constexpr const char* kMapKey = "Software\\Korvane\\Brem2009";

// Several threads may ask at once; the lock makes each see either nothing or
// the whole identity.
std::mutex g_cacheLock;
WideChar g_cache[kMachineIdUnits] = {};

WideString MacText(const uint8_t mac[6]) {
  return FormatString(WIDE("%02X%02X%02X%02X%02X%02X"), mac[0], mac[1], mac[2], mac[3], mac[4],
                      mac[5]);
}

// One discovery; throws std::bad_alloc when memory runs out on the way.
int Discover(WideChar* buffer) {
  std::vector<std::string> adapters;
  if (!platform::ListAdapterNames(&adapters)) return -1;

  uint8_t best[6] = {};
  bool haveBest = false;
  std::vector<WideString> others;
  for (const std::string& name : adapters) {
    const WideString path = WideString(platform::kAdapterDevicePrefix) + FromUtf8(name);
    uint8_t cur[6] = {};
    if (!platform::QueryPermanentAddress(path, cur)) continue;
    static const uint8_t kZero[6] = {};
    if (std::memcmp(cur, kZero, 6) == 0) continue;
    if (!haveBest) {
      std::memcpy(best, cur, 6);
      haveBest = true;
    } else if (std::memcmp(cur, best, 6) < 0) {
      others.push_back(MacText(best));
      std::memcpy(best, cur, 6);
    } else {
      others.push_back(MacText(cur));
    }
  }

  if (auto key = platform::RegKey::Create(kMapKey, platform::RegAccess::kRead)) {
    std::vector<uint8_t> data;
    // A value of more than 6 bytes does not fit the read and is ignored.
    if (key->QueryValue(ToUtf8(MacText(best)), &data) && data.size() <= 6) {
      std::memcpy(best, data.data(), data.size());
    }
  }

  const WideString text = MacText(best);
  for (const WideString& other : others) {
    if (auto key = platform::RegKey::Create(kMapKey, platform::RegAccess::kWrite)) {
      key->SetValue(ToUtf8(other), platform::kRegBinary, best, 6);
    }
  }
  // Written last, so that a discovery that fails leaves the buffer as it was.
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WideChar));
  return 0;
}

}  // namespace

// Memory that runs out is a failed discovery, as a failed adapter list is: the
// caller gets no identity and the next call tries again.
int DiscoverMac(WideChar* buffer) {
  try {
    return Discover(buffer);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int GetMachineId(WideChar* buffer) {
  std::lock_guard<std::mutex> lock(g_cacheLock);
  if (g_cache[0] == 0) {
    WideChar found[kTextBufferSize] = {};
    if (DiscoverMac(found) == 0) {
      size_t n = 0;
      while (found[n] != 0 && n + 1 < kMachineIdUnits) ++n;
      std::memcpy(g_cache, found, n * sizeof(WideChar));
      g_cache[n] = 0;
    }
  }
  std::memcpy(buffer, g_cache, sizeof g_cache);
  return 1;
}
