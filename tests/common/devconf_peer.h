// A devconf-service stand-in started by a test on a loopback port, and the
// requests it logged.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/standin/child_process.h"
#include "tests/common/test_support.h"

namespace testing_support {

struct LoggedRequest {
  std::string operation, messageId, from, replyTo, to, action, xIn;
  bool hasFrom = false, hasReplyTo = false;
};

class DevconfPeer {
 public:
  // `port` 0 lets the service pick one; extra options such as "--r", "7".
  explicit DevconfPeer(int port, const std::vector<std::string>& options = {});
  ~DevconfPeer();
  DevconfPeer(const DevconfPeer&) = delete;
  DevconfPeer& operator=(const DevconfPeer&) = delete;

  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  std::vector<LoggedRequest> Requests() const;
  void Stop();

 private:
  TempDir dir_;  // holds the log and the port file
  std::unique_ptr<platform::ChildProcess> process_;
  int port_ = 0;
  std::string logPath_;
  std::string portPath_;
};

// True when nothing listens on 127.0.0.1:port.
bool PortIsFree(int port);
// Success when nothing listens on 127.0.0.1:8000, the agent's local service
// port, which the test is about to serve.
::testing::AssertionResult LocalServicePortIsFree();

}  // namespace testing_support
