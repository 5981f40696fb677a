// The Windows side of the service test support: Winsock and child processes.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>


#include "tests/service/peer_socket.h"
#include "tests/service/service_test_support.h"
#include "tests/test_support_win.h"

namespace service_test {
namespace {

struct Winsock {
  Winsock() {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Winsock() { ::WSACleanup(); }
};

void StartWinsock() { static Winsock winsock; }

SOCKET Socket(int fd) { return static_cast<SOCKET>(fd); }

// Socket handles are small numbers, which an int holds on 32-bit Windows.
// They are kept out of child processes, which would otherwise hold the
// connection open past the peer's close.
int Owned(SOCKET s) {
  if (s == INVALID_SOCKET) return -1;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<int>(s);
}

bool Ready(int fd, short events, const std::atomic<bool>& stop) {
  while (!stop) {
    WSAPOLLFD p{Socket(fd), events, 0};
    if (::WSAPoll(&p, 1, 50) > 0) return true;
  }
  return false;
}

}  // namespace

// Windows binds again past earlier connections by itself; SO_REUSEADDR there
// would let a second listener share the port.
int Listen(const std::string& address, int port) {
  StartWinsock();
  const int fd = Owned(::socket(AF_INET, SOCK_STREAM, 0));
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::bind(Socket(fd), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(Socket(fd), 8) != 0) {
    ::closesocket(Socket(fd));
    return -1;
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_in sa{};
  int length = sizeof sa;
  ::getsockname(Socket(fd), reinterpret_cast<sockaddr*>(&sa), &length);
  return ntohs(sa.sin_port);
}

int Accept(int listener) { return Owned(::accept(Socket(listener), nullptr, nullptr)); }

bool Readable(int fd, const std::atomic<bool>& stop) { return Ready(fd, POLLRDNORM, stop); }

bool Writable(int fd, const std::atomic<bool>& stop) { return Ready(fd, POLLWRNORM, stop); }

long Receive(int fd, char* buffer, size_t size) {
  return ::recv(Socket(fd), buffer, static_cast<int>(size), 0);
}

long Send(int fd, const char* bytes, size_t size) {
  return ::send(Socket(fd), bytes, static_cast<int>(size), 0);
}

void SendAll(int fd, const std::string& bytes) { Send(fd, bytes.data(), bytes.size()); }

void CloseSocket(int fd) { ::closesocket(Socket(fd)); }

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& stdoutFile,
                                     const std::map<std::string, std::string>& env) {
  const unsigned long pid = testing_support::StartProcess(argv, env, stdoutFile);
  if (pid == 0) return;
  process_ = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (process_ != nullptr) pid_ = static_cast<pid_t>(pid);
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0) Stop();
}

// Windows has no SIGTERM to ask with: the process is ended, as if killed.
int BackgroundProcess::Stop() {
  if (pid_ > 0) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, 30000);
    ::CloseHandle(process_);
    process_ = nullptr;
    pid_ = -1;
    status_ = -1;
  }
  return status_;
}

int BackgroundProcess::Wait(int seconds) {
  if (pid_ <= 0) return status_;
  if (::WaitForSingleObject(process_, static_cast<DWORD>(seconds) * 1000) != WAIT_OBJECT_0) {
    return Stop();
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  ::CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
  status_ = code >= 0xC0000000u ? -1 : static_cast<int>(code);
  return status_;
}

}  // namespace service_test
