// The devconf-service peer of a test as a POSIX child process.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/devconf_peer.h"
#include "tests/test_support.h"

namespace testing_support {
namespace {

int g_counter = 0;

}  // namespace

DevconfPeer::DevconfPeer(int port, const std::vector<std::string>& options) {
  const std::string base = "/tmp/quorvil-peer-" + std::to_string(::getpid()) + "-" +
                           std::to_string(g_counter++);
  logPath_ = base + ".log";
  portPath_ = base + ".port";
  ::unlink(logPath_.c_str());
  ::unlink(portPath_.c_str());
  std::vector<std::string> argv = {BuildDir() + "/hosts/devconf/devconf-service", "--port",
                                   std::to_string(port), "--log", logPath_, "--port-file",
                                   portPath_};
  argv.insert(argv.end(), options.begin(), options.end());
  pid_ = ::fork();
  if (pid_ == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  // Bounded wait for the service to say where it listens.
  for (int i = 0; i < 500 && port_ == 0; ++i) {
    const std::string text = ReadFile(portPath_);
    if (!text.empty() && text.back() == '\n') port_ = std::atoi(text.c_str());
    int status = 0;
    if (port_ == 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

DevconfPeer::~DevconfPeer() {
  Stop();
  ::unlink(logPath_.c_str());
  ::unlink(portPath_.c_str());
}

void DevconfPeer::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    // A sanitizer may hold the signal back while the service waits inside
    // an uninstrumented library: after a while the stop is forced.
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }
}

bool PortIsFree(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return !connected;
}

}  // namespace testing_support
