#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "tests/reference_host/host_system.h"

namespace reference_host {
namespace {

std::string MachineRoot() {
  const char* root = std::getenv("QUORVIL_ROOT");
  return root != nullptr && *root != 0 ? root : "/var/lib/quorvil";
}

}  // namespace

std::string PluginLogPath() { return MachineRoot() + "/drive_c/runtime.log"; }

void PrepareMachine() {
  ::mkdir(MachineRoot().c_str(), 0755);
  ::mkdir((MachineRoot() + "/net").c_str(), 0755);
  std::ofstream(MachineRoot() + "/net/adapters") << "eth0 0A0B0C0D0E0F\n";
}

bool BrokenPipeDispositionIsDefault() {
  struct sigaction current {};
  return ::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
         (current.sa_flags & SA_SIGINFO) == 0;
}

}  // namespace reference_host
