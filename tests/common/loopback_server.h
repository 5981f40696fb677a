// The serving half of a test's in-process HTTP peer: a listener on a
// loopback address and a port the system picks, one thread that hands each
// connection to the peer's own protocol code, and a stop that waits for it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/standin/loopback_socket.h"

namespace testing_support {

struct HttpRequest {
  std::string head;  // request line and headers, up to the blank line
  std::string body;
  std::string Header(const std::string& name) const;  // empty when absent
  std::string RequestLine() const;
};

// A peer holds its server as its last member: the server is then destroyed
// first, so the serving thread never meets a half-destroyed peer.
class LoopbackServer {
 public:
  // Serves one connection; the server closes it afterwards.
  using Handler = std::function<void(platform::Socket connection)>;

  // Throws when it cannot listen on `address`:`port` (0: the system picks).
  explicit LoopbackServer(Handler serve, const std::string& address = "127.0.0.1", int port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  bool stopping() const { return stop_; }

  // Waits until input comes, or the socket takes more bytes; false once
  // the server stops.
  bool Readable(platform::Socket socket) const;
  bool Writable(platform::Socket socket) const;

  enum class Received { kNoHead, kHead, kWhole };
  // Reads one request, whole by its Content-Length, into `request`; short of
  // that (the client closed, the server stops) it keeps what came, the head
  // empty until its blank line came.
  Received ReadRequest(platform::Socket connection, HttpRequest* request) const;

 private:
  void Run();

  Handler serve_;
  std::string address_;
  platform::OwnedSocket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace testing_support
