// Arguments, streams and stop signals of a POSIX program.
#include <signal.h>

#include "platform/standin/program.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void SetBinaryStandardStreams() {}

struct StopRequests::Previous {
  struct sigaction interrupt {}, terminate {};
};

StopRequests::StopRequests(void (*handler)(int)) : previous_(new Previous) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous_->interrupt);
  ::sigaction(SIGTERM, &action, &previous_->terminate);
}

StopRequests::~StopRequests() {
  ::sigaction(SIGINT, &previous_->interrupt, nullptr);
  ::sigaction(SIGTERM, &previous_->terminate, nullptr);
  delete previous_;
}

}  // namespace platform
