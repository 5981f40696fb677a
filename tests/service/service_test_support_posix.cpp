// The POSIX side of the service test support: sockets and child processes.
#include "tests/service/service_test_support.h"
#include "tests/service/peer_socket.h"
#include "tests/test_support_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace service_test {

int Listen(const std::string& address, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A peer on a fixed port binds again past its predecessor's connections.
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
  return ntohs(sa.sin_port);
}

int Accept(int listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

namespace {

bool Ready(int fd, short events, const std::atomic<bool>& stop) {
  while (!stop) {
    pollfd p{fd, events, 0};
    if (::poll(&p, 1, 50) > 0) return true;
  }
  return false;
}

}  // namespace

bool Readable(int fd, const std::atomic<bool>& stop) { return Ready(fd, POLLIN, stop); }

bool Writable(int fd, const std::atomic<bool>& stop) { return Ready(fd, POLLOUT, stop); }

long Receive(int fd, char* buffer, size_t size) { return ::recv(fd, buffer, size, 0); }

long Send(int fd, const char* bytes, size_t size) {
  return ::send(fd, bytes, size, MSG_NOSIGNAL);
}

void SendAll(int fd, const std::string& bytes) { Send(fd, bytes.data(), bytes.size()); }

void CloseSocket(int fd) { ::close(fd); }

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& stdoutFile,
                                     const std::map<std::string, std::string>& env) {
  pid_ = ::fork();
  if (pid_ == 0) {
    int out = ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::close(out);
    testing_support::ExecChild(argv, env);
  }
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0) Stop();
}

int BackgroundProcess::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    return Wait(30);
  }
  return status_;
}

int BackgroundProcess::Wait(int seconds) {
  if (pid_ <= 0) return status_;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int raw = 0;
  while (::waitpid(pid_, &raw, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &raw, 0);
      break;
    }
    ::usleep(20 * 1000);
  }
  pid_ = -1;
  status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return status_;
}

}  // namespace service_test
