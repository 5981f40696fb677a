// Serving agents as child processes whose first output line names the port.
#include "tests/hosts/serving_agent.h"

#include <csignal>

#include "tests/common/test_support.h"

namespace agent_test {

ServingAgent::ServingAgent(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env)
    : process_(new platform::ChildProcess) {
  using platform::ChildStream;
  std::string error;
  if (!process_->Start(argv, env, ChildStream::Null(), ChildStream::Pipe(), ChildStream::Pipe(),
                       &error)) {
    stderr_ = error;
    return;
  }
  // Blocks until the agent says where it listens, or exits.
  std::string line;
  char c;
  while (process_->ReadOutput(&c, 1) == 1 && c != '\n') line += c;
  port_ = ListeningPort(line);
}

ServingAgent::~ServingAgent() { Stop(SIGTERM); }

int ServingAgent::Stop(int signal) {
  if (stopped_) return status_;
  stopped_ = true;
  const bool asked = process_->RequestStop(signal == SIGINT ? platform::StopRequest::kInterrupt
                                                            : platform::StopRequest::kTerminate);
  const bool serving = !asked && process_->Running();
  if (!asked) process_->Kill();
  platform::ChildExit exit;
  process_->Wait(-1, &exit);
  char buffer[4096];
  for (long n; (n = process_->ReadError(buffer, sizeof buffer)) > 0;) {
    stderr_.append(buffer, static_cast<size_t>(n));
  }
  stderr_ = testing_support::ProgramText(stderr_);
  status_ = serving ? 0 : exit.code;
  return status_;
}

bool ServingAgent::StopsBySignal() { return platform::ChildProcess::CanRequestStop(); }

}  // namespace agent_test
