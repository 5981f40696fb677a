// The proxy settings file and ApplyProxy: nothing is written past a buffer,
// and the URL is either unchanged or rewritten whole.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/files.h"
#include "service/proxy_settings.h"
#include "support/module_dir.h"
#include "support/text_conversion.h"

namespace {

std::string g_settings;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The settings live beside this program, as they do beside the agent's.
  WideString folder;
  GetModuleDir(folder);
  platform::MakeDirectories(ToUtf8(folder) + "Conf");
  g_settings = ToUtf8(folder) + "Conf/ProxyInfo.xml";
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Settings file, a zero byte, then the URL.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  if (split == std::string::npos) return 0;
  {
    std::ofstream file(g_settings, std::ios::binary | std::ios::trunc);
    file << input.substr(0, split);
  }
  const std::string url = input.substr(split + 1, kTextBufferSize - 1);
  if (url.find('\0') != std::string::npos) return 0;

  std::unique_ptr<char[]> buffer(new char[kTextBufferSize]());
  std::memcpy(buffer.get(), url.c_str(), url.size() + 1);
  std::unique_ptr<char[]> host(new char[kTextBufferSize]());
  std::unique_ptr<char[]> port(new char[kTextBufferSize]());
  const bool enabled = ReadProxySettings(host.get(), port.get());
  const bool ok = ApplyProxy(buffer.get());
  const std::string after(buffer.get());
  if (!ok || !enabled || url.find(':') == std::string::npos) {
    FUZZ_CHECK(after == url);
  } else {
    const std::string prefix = std::string("http://") + host.get() + ":" + port.get() + "/";
    FUZZ_CHECK(after.compare(0, prefix.size(), prefix) == 0);
    // The path is the whole rest of the original URL after its port.
    FUZZ_CHECK(url.size() >= after.size() - prefix.size());
    FUZZ_CHECK(url.compare(url.size() - (after.size() - prefix.size()), std::string::npos,
                           after, prefix.size(), std::string::npos) == 0);
  }
  FUZZ_CHECK(after.size() < kTextBufferSize);
  return 0;
}
