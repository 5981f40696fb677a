// The benchmarks' Set peer: reads one HTTP request per connection and answers.
#include "bench/loopback_set_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

// The answer devconf-service gives, byte for byte, so the plug-in's strict
// reading of it is what it would be in the field.
std::string SetResponse(int32_t r) {
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
      "xmlns:soap=\"urn:quorvil:device-configuration\"><SOAP-ENV:Body><soap:SetResponse>"
      "<soap:r xsi:type=\"xsd:long\">" +
      std::to_string(r) +
      "</soap:r></soap:SetResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  return "HTTP/1.1 200 OK\r\nServer: gSOAP/2.8\r\nContent-Type: text/xml; charset=utf-8\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The body's length from the header block, or -1 when none is given.
long long ContentLength(const std::string& head) {
  size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string::npos) {
    at += 2;
    static const char kName[] = "content-length:";
    if (strncasecmp(head.c_str() + at, kName, sizeof kName - 1) == 0) {
      return std::atoll(head.c_str() + at + sizeof kName - 1);
    }
  }
  return -1;
}

}  // namespace

LoopbackSetPeer::~LoopbackSetPeer() { Stop(); }

bool LoopbackSetPeer::Start(int port, int32_t r, std::string* error) {
  response_ = SetResponse(r);
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = Loopback(port);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0) {
    *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void LoopbackSetPeer::Stop() {
  if (listener_ < 0) return;
  stop_ = true;
  // Wakes the accept.
  ::shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
  listener_ = -1;
}

void LoopbackSetPeer::Serve() {
  while (!stop_) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (!Answer(fd)) ++refused_;
    ::close(fd);
  }
}

// Reads headers and the whole body, then answers; nothing of it is kept.
bool LoopbackSetPeer::Answer(int fd) {
  std::vector<char> buffer(256 * 1024);
  std::string head;
  long long bodyLeft = -1;
  for (;;) {
    pollfd ready = {fd, POLLIN, 0};
    if (::poll(&ready, 1, 15000) <= 0) return false;
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    // A connection closed before its first byte only looked for a listener.
    if (n == 0 && head.empty()) return true;
    if (n <= 0) return false;
    if (bodyLeft < 0) {
      head.append(buffer.data(), static_cast<size_t>(n));
      const size_t end = head.find("\r\n\r\n");
      if (end == std::string::npos) {
        if (head.size() > 64 * 1024) return false;
        continue;
      }
      bodyLeft = ContentLength(head);
      if (bodyLeft < 0) return false;
      bodyLeft -= static_cast<long long>(head.size() - end - 4);
    } else {
      bodyLeft -= n;
    }
    if (bodyLeft <= 0) break;
  }
  // Counted before the answer goes out, which is when the caller moves on.
  ++answered_;
  return WriteAll(fd, response_.data(), response_.size());
}

bool SomethingListensOn(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address = Loopback(port);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}
