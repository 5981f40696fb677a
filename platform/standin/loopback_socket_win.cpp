// Loopback streams over Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/process.h"
#include "platform/standin/loopback_socket.h"
#include "text/utf.h"

namespace platform {
namespace {

constexpr int kMaxChunk = 65536;  // send and recv take an int length

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

// Started once for the process and left up: the hosts and tests use sockets
// until they exit.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

OwnedSocket Owned(SOCKET s) {
  if (s == INVALID_SOCKET) return OwnedSocket();
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return OwnedSocket(static_cast<Socket>(s));
}

int Wait(Socket socket, short events, int timeoutMs) {
  WSAPOLLFD p = {Native(socket), events, 0};
  return ::WSAPoll(&p, 1, timeoutMs);
}

}  // namespace

OwnedSocket Connect(const std::string& host, int port, const std::string& what, std::string* error) {
  if (!StartWinsock()) {
    *error = what + ": Winsock cannot start";
    return OwnedSocket();
  }
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    *error = SocketFailure(what);
    return OwnedSocket();
  }
  OwnedSocket s = Owned(::socket(found->ai_family, SOCK_STREAM, 0));
  if (!s.is_open() ||
      ::connect(Native(s.get()), found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    *error = SocketFailure(what);
    ::freeaddrinfo(found);
    return OwnedSocket();
  }
  ::freeaddrinfo(found);
  return s;
}

OwnedSocket Listen(const std::string& address, int port) {
  if (!StartWinsock()) return OwnedSocket();
  OwnedSocket s = Owned(::socket(AF_INET, SOCK_STREAM, 0));
  if (!s.is_open()) return s;
  // No option: Windows binds again past earlier connections by itself.
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::bind(Native(s.get()), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(Native(s.get()), 8) != 0) {
    return OwnedSocket();
  }
  return s;
}

int BoundPort(Socket socket) {
  sockaddr_storage bound{};
  int length = sizeof bound;
  if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  if (bound.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
  return 0;
}

OwnedSocket Accept(Socket listener) { return Owned(::accept(Native(listener), nullptr, nullptr)); }

long Send(Socket socket, const char* bytes, size_t size) {
  const int chunk = size < kMaxChunk ? static_cast<int>(size) : kMaxChunk;
  return ::send(Native(socket), bytes, chunk, 0);
}

void FinishSending(Socket socket) { ::shutdown(Native(socket), SD_SEND); }

void Shutdown(Socket socket) { ::shutdown(Native(socket), SD_BOTH); }

int WaitReadable(Socket socket, int timeoutMs) { return Wait(socket, POLLRDNORM, timeoutMs); }

int WaitWritable(Socket socket, int timeoutMs) { return Wait(socket, POLLWRNORM, timeoutMs); }

long Receive(Socket socket, char* buffer, size_t size) {
  const int chunk = size < kMaxChunk ? static_cast<int>(size) : kMaxChunk;
  return ::recv(Native(socket), buffer, chunk, 0);
}

void OwnedSocket::Close() {
  if (socket_ != kNoSocket) ::closesocket(Native(socket_));
  socket_ = kNoSocket;
}

int ServerBindFlags() { return SO_EXCLUSIVEADDRUSE; }

std::string SocketErrorText(int code) {
  WideString text;
  if (!SystemMessage(static_cast<uint32_t>(code), &text)) {
    return "Winsock error " + std::to_string(code);
  }
  std::string utf8 = unicode::Utf16ToUtf8(text.data(), text.size());
  // The system's texts end with a period and a line break.
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.')) {
    utf8.pop_back();
  }
  return utf8;
}

std::string SocketFailure(const std::string& what) {
  return what + ": " + SocketErrorText(::WSAGetLastError());
}

int AddressInUseError() { return WSAEADDRINUSE; }

}  // namespace platform
