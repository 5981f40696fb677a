// Loopback peers that misbehave after reading a request.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

#include "platform/standin/loopback_socket.h"

namespace service_test {

enum class Hostility {
  kTrickle,           // a valid response, one byte a second
  kHtml500,           // an HTML error page with status 500
  kHugeBody,          // 100 MB, nearly all a header member before a SetResponse
  kHugeFaultString,   // a fault whose string is 60 MB
  kDeepNesting,       // 200,000 levels of elements opened inside SetResponse
  kCloseMidResponse,  // half a valid response, then the connection closes
  kHugeChunk,         // chunked, with a first chunk of size FFFFFFFF
  kCloseEarly,        // reads the first bytes of a request, then closes on the rest
};

// Listens on 127.0.0.1 (port 0: the system picks one), reads each request
// whole and answers it the hostile way until stopped by its destructor
// (kCloseEarly reads only the start; RequestsRead counts those it started).
class HostilePeer {
 public:
  explicit HostilePeer(Hostility hostility, int port = 0);
  ~HostilePeer();
  HostilePeer(const HostilePeer&) = delete;
  HostilePeer& operator=(const HostilePeer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path = "/svc") const;
  size_t RequestsRead() const { return requests_; }
  size_t BytesSent() const { return sent_; }

 private:
  void Run();
  void Answer(platform::Socket connection);
  bool SendAll(platform::Socket connection, const std::string& bytes);

  Hostility hostility_;
  platform::Socket listener_ = platform::kNoSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> requests_{0};
  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

}  // namespace service_test
