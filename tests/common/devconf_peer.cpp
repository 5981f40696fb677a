// The devconf-service peer of a test: what it logged, read back.
#include "tests/common/devconf_peer.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/standin/loopback_socket.h"
#include "tests/common/test_support.h"

namespace testing_support {
namespace {

// Reads the string value of `key` from one JSON line the service wrote.
bool JsonField(const std::string& line, const std::string& key, std::string* value) {
  const std::string marker = "\"" + key + "\":";
  const size_t at = line.find(marker);
  if (at == std::string::npos) return false;
  size_t i = at + marker.size();
  if (line.compare(i, 4, "null") == 0) return false;
  if (i >= line.size() || line[i] != '"') return false;
  ++i;
  std::string out;
  while (i < line.size() && line[i] != '"') {
    char c = line[i++];
    if (c == '\\' && i < line.size()) {
      char e = line[i++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': out += static_cast<char>(std::strtol(line.substr(i, 4).c_str(), nullptr, 16)); i += 4; break;
        default: out += e;
      }
    } else {
      out += c;
    }
  }
  *value = out;
  return true;
}

}  // namespace

DevconfPeer::DevconfPeer(int port, const std::vector<std::string>& options)
    : process_(new platform::ChildProcess) {
  logPath_ = dir_.path() + "/requests.log";
  portPath_ = dir_.path() + "/port";
  std::vector<std::string> argv = {
      BuildDir() + "/hosts/devconf/" + ProgramFileName("devconf-service"), "--port",
      std::to_string(port), "--log", logPath_, "--port-file", portPath_};
  argv.insert(argv.end(), options.begin(), options.end());
  using platform::ChildStream;
  std::string error;
  if (!process_->Start(argv, {}, ChildStream::Null(), ChildStream::Null(), ChildStream::Inherit(),
                       &error)) {
    return;
  }
  // Bounded wait for the service to say where it listens.
  for (int i = 0; i < 1000 && port_ == 0; ++i) {
    const std::string text = ReadFile(portPath_);
    if (!text.empty() && text.back() == '\n') port_ = std::atoi(text.c_str());
    if (port_ == 0 && !process_->Running()) break;
    if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

DevconfPeer::~DevconfPeer() { Stop(); }

void DevconfPeer::Stop() {
  // A sanitizer may hold the signal back while the service waits inside an
  // uninstrumented library: after a while the stop is forced.
  constexpr int kGraceMs = 5000;
  StopChild(process_.get(), kGraceMs);
}

bool PortIsFree(int port) {
  std::string error;
  return !platform::Connect("127.0.0.1", port, "probe", &error).is_open();
}

::testing::AssertionResult LocalServicePortIsFree() {
  if (PortIsFree(8000)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "something else listens on 127.0.0.1:8000, the agent's local service port";
}

std::string DevconfPeer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LoggedRequest> DevconfPeer::Requests() const {
  std::vector<LoggedRequest> requests;
  std::istringstream in(ReadFile(logPath_));
  for (std::string line; std::getline(in, line);) {
    LoggedRequest r;
    JsonField(line, "operation", &r.operation);
    JsonField(line, "MessageID", &r.messageId);
    r.hasFrom = JsonField(line, "From", &r.from);
    r.hasReplyTo = JsonField(line, "ReplyTo", &r.replyTo);
    JsonField(line, "To", &r.to);
    JsonField(line, "Action", &r.action);
    JsonField(line, "xIn", &r.xIn);
    requests.push_back(r);
  }
  return requests;
}

}  // namespace testing_support
