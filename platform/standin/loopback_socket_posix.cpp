// Loopback streams over POSIX sockets.
#include "platform/standin/loopback_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

int Fd(Socket socket) { return static_cast<int>(socket); }

int Wait(Socket socket, short events, int timeoutMs) {
  for (;;) {
    pollfd p = {Fd(socket), events, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready;
  }
}

}  // namespace

OwnedSocket Connect(const std::string& host, int port, const std::string& what, std::string* error) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) {
    *error = what + ": " + ::gai_strerror(lookup);
    return OwnedSocket();
  }
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    *error = SocketFailure(what);
    if (fd >= 0) ::close(fd);
    ::freeaddrinfo(found);
    return OwnedSocket();
  }
  ::freeaddrinfo(found);
  return OwnedSocket(fd);
}

OwnedSocket Listen(const std::string& address, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return OwnedSocket();
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, ServerBindFlags(), &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return OwnedSocket();
  }
  return OwnedSocket(fd);
}

int BoundPort(Socket socket) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  if (bound.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
  return 0;
}

OwnedSocket Accept(Socket listener) {
  for (;;) {
    const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0 && errno == EINTR) continue;
    return fd < 0 ? OwnedSocket() : OwnedSocket(fd);
  }
}

long Send(Socket socket, const char* bytes, size_t size) {
  for (;;) {
    const ssize_t n = ::send(Fd(socket), bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void FinishSending(Socket socket) { ::shutdown(Fd(socket), SHUT_WR); }

void Shutdown(Socket socket) { ::shutdown(Fd(socket), SHUT_RDWR); }

int WaitReadable(Socket socket, int timeoutMs) { return Wait(socket, POLLIN, timeoutMs); }

int WaitWritable(Socket socket, int timeoutMs) { return Wait(socket, POLLOUT, timeoutMs); }

long Receive(Socket socket, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::recv(Fd(socket), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void OwnedSocket::Close() {
  if (socket_ != kNoSocket) ::close(Fd(socket_));
  socket_ = kNoSocket;
}

int ServerBindFlags() { return SO_REUSEADDR; }

std::string SocketErrorText(int code) { return std::strerror(code); }

std::string SocketFailure(const std::string& what) { return what + ": " + SocketErrorText(errno); }

int AddressInUseError() { return EADDRINUSE; }

}  // namespace platform
