// The agent host stand-in's request reader on arbitrary request bytes, as
// `quorvil-agent run` reads them from a file, with a plug-in that reads all
// the host offers: nothing crashes, and what it answers is HTTP. (A first
// line that is no request line gets no answer at all.)
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_check.h"
#include "hosts/agent/agent_service.h"
#include "hosts/agent/plugin_loader.h"

namespace {

PluginLibrary* g_plugin = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_plugin = new PluginLibrary;
  std::string error;
  if (!g_plugin->Load(QUORVIL_AGENT_STUB_PLUGIN, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = ::memfd_create("request", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<size_t>(n);
  }
  FUZZ_CHECK(::lseek(fd, 0, SEEK_SET) == 0);
  AgentService service(g_plugin);
  std::string response;
  service.RunOnce(fd, &response);
  ::close(fd);
  FUZZ_CHECK(response.empty() || response.compare(0, 9, "HTTP/1.1 ") == 0);
  return 0;
}
