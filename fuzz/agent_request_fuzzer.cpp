// The agent host stand-in's request reader on arbitrary request bytes, as
// `quorvil-agent run` reads them from a file, with a plug-in that reads all
// the host offers: nothing crashes, and what it answers is HTTP. (A first
// line that is no request line gets no answer at all.)
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
  const std::string request(reinterpret_cast<const char*>(data), size);
  AgentService service(g_plugin);
  std::string response;
  service.RunOnce(&request, &response);
  FUZZ_CHECK(response.empty() || response.compare(0, 9, "HTTP/1.1 ") == 0);
  return 0;
}
