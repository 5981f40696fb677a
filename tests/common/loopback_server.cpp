// Listening, serving and stopping for the tests' in-process peers.
#include "tests/common/loopback_server.h"

#include <stdexcept>

namespace testing_support {
namespace {

// How often a waiting peer looks whether it was asked to stop.
constexpr int kStopCheckMs = 50;

}  // namespace

std::string HttpRequest::Header(const std::string& name) const {
  std::string needle = "\r\n" + name + ": ";
  size_t at = head.find(needle);
  if (at == std::string::npos) return std::string();
  at += needle.size();
  return head.substr(at, head.find("\r\n", at) - at);
}

std::string HttpRequest::RequestLine() const { return head.substr(0, head.find("\r\n")); }

LoopbackServer::LoopbackServer(Handler serve, const std::string& address, int port)
    : serve_(std::move(serve)), address_(address) {
  listener_ = platform::Listen(address, port);
  if (!listener_.is_open()) {
    throw std::runtime_error("test peer cannot listen on " + address + ":" + std::to_string(port));
  }
  port_ = platform::BoundPort(listener_.get());
  thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  thread_.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://" + address_ + ":" + std::to_string(port_) + path;
}

void LoopbackServer::Run() {
  while (Readable(listener_.get())) {
    const platform::OwnedSocket connection = platform::Accept(listener_.get());
    if (connection.is_open()) serve_(connection.get());
  }
}

bool LoopbackServer::Readable(platform::Socket socket) const {
  while (!stop_) {
    if (platform::WaitReadable(socket, kStopCheckMs) > 0) return true;
  }
  return false;
}

bool LoopbackServer::Writable(platform::Socket socket) const {
  while (!stop_) {
    if (platform::WaitWritable(socket, kStopCheckMs) > 0) return true;
  }
  return false;
}

LoopbackServer::Received LoopbackServer::ReadRequest(platform::Socket connection,
                                                     HttpRequest* request) const {
  std::string data;
  char buffer[65536];
  size_t headEnd = std::string::npos;
  size_t total = std::string::npos;
  while (total == std::string::npos || data.size() < total) {
    if (!Readable(connection)) break;
    const long n = platform::Receive(connection, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
      request->head = data.substr(0, headEnd);
      const std::string length = request->Header("Content-Length");
      total = headEnd + 4 + (length.empty() ? 0 : std::stoul(length));
    }
  }
  if (headEnd == std::string::npos) return Received::kNoHead;
  request->body = data.substr(headEnd + 4);
  return data.size() >= total ? Received::kWhole : Received::kHead;
}

}  // namespace testing_support
