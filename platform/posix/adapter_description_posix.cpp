// The adapter list a machine root describes for itself, taking the place of
// the system's when present.
#include "platform/posix/adapter_description.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "platform/network.h"
#include "text/utf.h"

namespace platform {
namespace {

bool ParseHex12(const std::string& text, uint8_t out[6]) {
  if (text.size() != 12) return false;
  for (int i = 0; i < 6; ++i) {
    unsigned v = 0;
    for (int k = 0; k < 2; ++k) {
      const char c = text[static_cast<size_t>(2 * i + k)];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned>(c - 'A' + 10);
      else return false;
    }
    out[i] = static_cast<uint8_t>(v);
  }
  return true;
}

}  // namespace

bool DescribedAdapters(std::vector<DescribedAdapter>* out) {
  const std::string root = MachineRoot();
  if (root.empty()) return false;
  std::ifstream in(root + "/net/adapters");
  if (!in) return false;
  out->clear();
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    DescribedAdapter a{};
    std::string address;
    if (!(fields >> a.name) || a.name[0] == '#') continue;
    fields >> address;
    a.answers = ParseHex12(address, a.address);
    out->push_back(a);
  }
  return true;
}

std::string AdapterNameFromPath(const WideString& devicePath) {
  const WideString prefix(kAdapterDevicePrefix);
  if (devicePath.compare(0, prefix.size(), prefix) != 0) return std::string();
  const WideString rest = devicePath.substr(prefix.size());
  return unicode::Utf16ToUtf8(rest.data(), rest.size());
}

bool ListAdapterNames(std::vector<std::string>* names) {
  names->clear();
  std::vector<DescribedAdapter> described;
  if (!DescribedAdapters(&described)) return SystemAdapterNames(names);
  for (const DescribedAdapter& a : described) names->push_back(a.name);
  return !names->empty();
}

bool QueryPermanentAddress(const WideString& devicePath, uint8_t address[6]) {
  std::vector<DescribedAdapter> described;
  if (!DescribedAdapters(&described)) return SystemPermanentAddress(devicePath, address);
  const std::string name = AdapterNameFromPath(devicePath);
  for (const DescribedAdapter& a : described) {
    if (!name.empty() && a.name == name && a.answers) {
      std::memcpy(address, a.address, 6);
      return true;
    }
  }
  return false;
}

}  // namespace platform
