// The devconf-service peer of a test: what it logged, read back.
#include "tests/devconf_peer.h"

#include <cstdlib>
#include <sstream>

#include "tests/test_support.h"

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
