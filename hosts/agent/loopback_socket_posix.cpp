// Loopback streams over POSIX sockets.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hosts/agent/loopback_socket.h"

namespace loopback_socket {

Handle Connect(const std::string& host, int port, const std::string& what, std::string* error) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) {
    *error = what + ": " + ::gai_strerror(lookup);
    return kNoSocket;
  }
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    *error = Failure(what);
    if (fd >= 0) ::close(fd);
    ::freeaddrinfo(found);
    return kNoSocket;
  }
  ::freeaddrinfo(found);
  return fd;
}

bool SendAll(Handle socket, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(static_cast<int>(socket), bytes.data() + sent, bytes.size() - sent,
                             MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void FinishSending(Handle socket) { ::shutdown(static_cast<int>(socket), SHUT_WR); }

int WaitReadable(Handle socket, int timeoutMs) {
  for (;;) {
    pollfd p = {static_cast<int>(socket), POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready;
  }
}

long Receive(Handle socket, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(socket), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void Close(Handle socket) { ::close(static_cast<int>(socket)); }

std::string ErrorText(int code) { return std::strerror(code); }

std::string Failure(const std::string& what) { return what + ": " + ErrorText(errno); }

}  // namespace loopback_socket
