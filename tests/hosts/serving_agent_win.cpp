// Serving agents as Windows processes writing to files, ended by the test.
#include <windows.h>

#include <csignal>

#include "tests/hosts/serving_agent.h"
#include "tests/test_support.h"
#include "tests/test_support_win.h"

namespace agent_test {

struct ServingAgent::Process {
  HANDLE handle = nullptr;
  testing_support::TempDir dir;
  std::string outPath() const { return dir.path() + "/out"; }
  std::string errPath() const { return dir.path() + "/err"; }
};

ServingAgent::ServingAgent(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env)
    : process_(new Process) {
  process_->handle = static_cast<HANDLE>(testing_support::StartProcessHandle(
      argv, env, process_->outPath(), process_->errPath()));
  if (process_->handle == nullptr) return;
  // Bounded wait for the first line, or for the agent to exit without one.
  for (int i = 0; i < 3000; ++i) {
    const std::string out = testing_support::ReadFile(process_->outPath());
    const size_t end = out.find('\n');
    if (end != std::string::npos) {
      port_ = ListeningPort(out.substr(0, end));
      return;
    }
    if (::WaitForSingleObject(process_->handle, 10) == WAIT_OBJECT_0) return;
  }
}

ServingAgent::~ServingAgent() { Stop(SIGTERM); }

int ServingAgent::Stop(int /*signal*/) {
  if (process_->handle == nullptr) return status_;
  const bool serving = ::WaitForSingleObject(process_->handle, 0) == WAIT_TIMEOUT;
  if (serving) ::TerminateProcess(process_->handle, 1);
  ::WaitForSingleObject(process_->handle, 30000);
  DWORD code = 1;
  ::GetExitCodeProcess(process_->handle, &code);
  ::CloseHandle(process_->handle);
  process_->handle = nullptr;
  stderr_ = testing_support::ProgramText(testing_support::ReadFile(process_->errPath()));
  status_ = serving ? 0 : code >= 0xC0000000u ? -1 : static_cast<int>(code);
  return status_;
}

bool ServingAgent::StopsBySignal() { return false; }

}  // namespace agent_test
