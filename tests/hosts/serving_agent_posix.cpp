// Serving agents as forked children with pipes, stopped by signals.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/hosts/serving_agent.h"
#include "tests/test_support_posix.h"

namespace agent_test {

struct ServingAgent::Process {
  pid_t pid = -1;
  int out = -1, err = -1;
};

ServingAgent::ServingAgent(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env)
    : process_(new Process) {
  int out[2], err[2];
  if (::pipe(out) != 0) return;
  if (::pipe(err) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return;
  }
  process_->pid = ::fork();
  if (process_->pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    testing_support::ExecChild(argv, env);
  }
  ::close(out[1]);
  ::close(err[1]);
  process_->out = out[0];
  process_->err = err[0];
  // Blocks until the agent says it listens (or exits).
  std::string line;
  char c;
  while (::read(process_->out, &c, 1) == 1 && c != '\n') line += c;
  port_ = ListeningPort(line);
}

ServingAgent::~ServingAgent() { Stop(SIGTERM); }

int ServingAgent::Stop(int signal) {
  if (process_->pid <= 0) return status_;
  ::kill(process_->pid, signal);
  int status = 0;
  ::waitpid(process_->pid, &status, 0);
  process_->pid = -1;
  char buffer[4096];
  for (ssize_t n; (n = ::read(process_->err, buffer, sizeof buffer)) > 0;) {
    stderr_.append(buffer, static_cast<size_t>(n));
  }
  ::close(process_->out);
  ::close(process_->err);
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return status_;
}

bool ServingAgent::StopsBySignal() { return true; }

}  // namespace agent_test
