#include "tests/reference_host/host_system.h"

namespace reference_host {

std::string PluginLogPath() { return "C:\\runtime.log"; }

// The adapters are the machine's own.
void PrepareMachine() {}

// Windows has no SIGPIPE: a send to a closed peer only fails.
bool BrokenPipeDispositionIsDefault() { return true; }

}  // namespace reference_host
