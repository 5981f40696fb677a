// A serving agent host on a loopback port, started and stopped by a test.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/standin/child_process.h"

namespace agent_test {

class ServingAgent {
 public:
  // Runs `argv` (an agent's serve command) and waits until it says where it
  // listens or exits.
  ServingAgent(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
  ~ServingAgent();
  ServingAgent(const ServingAgent&) = delete;
  ServingAgent& operator=(const ServingAgent&) = delete;

  int port() const { return port_; }  // 0 when it never listened
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

  // Asks the agent to stop with `signal` and answers its exit status, -1 when
  // it did not exit normally. Wine gives a process without a console no
  // control event to stop on, so there a running agent is ended instead and
  // 0 means it was still serving until then.
  int Stop(int signal);
  const std::string& stderrText() const { return stderr_; }
  // Whether Stop reaches the agent's own stop handling.
  static bool StopsBySignal();

 private:
  std::unique_ptr<platform::ChildProcess> process_;
  int port_ = 0;
  bool stopped_ = false;
  int status_ = -1;
  std::string stderr_;
};

// The port an agent says it listens on in the first line of its output; 0
// for any other line.
inline int ListeningPort(const std::string& line) {
  const std::string prefix = "listening on 127.0.0.1:";
  return line.compare(0, prefix.size(), prefix) == 0 ? std::atoi(line.c_str() + prefix.size()) : 0;
}

}  // namespace agent_test
