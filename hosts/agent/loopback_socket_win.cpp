// Loopback streams over Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "hosts/agent/loopback_socket.h"
#include "platform/system_error.h"
#include "platform/utf.h"

namespace loopback_socket {
namespace {

SOCKET Native(Handle socket) { return static_cast<SOCKET>(socket); }

// Started once for the process: the agent posts at most a request a run.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace

Handle Connect(const std::string& host, int port, const std::string& what, std::string* error) {
  if (!StartWinsock()) {
    *error = what + ": Winsock cannot start";
    return kNoSocket;
  }
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    *error = Failure(what);
    return kNoSocket;
  }
  const SOCKET s = ::socket(found->ai_family, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET ||
      ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    *error = Failure(what);
    if (s != INVALID_SOCKET) ::closesocket(s);
    ::freeaddrinfo(found);
    return kNoSocket;
  }
  ::freeaddrinfo(found);
  return static_cast<Handle>(s);
}

bool SendAll(Handle socket, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const size_t chunk = bytes.size() - sent < 65536 ? bytes.size() - sent : 65536;
    const int n = ::send(Native(socket), bytes.data() + sent, static_cast<int>(chunk), 0);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void FinishSending(Handle socket) { ::shutdown(Native(socket), SD_SEND); }

int WaitReadable(Handle socket, int timeoutMs) {
  WSAPOLLFD p = {Native(socket), POLLRDNORM, 0};
  return ::WSAPoll(&p, 1, timeoutMs);
}

long Receive(Handle socket, char* buffer, size_t size) {
  const int chunk = size < 65536 ? static_cast<int>(size) : 65536;
  return ::recv(Native(socket), buffer, chunk, 0);
}

void Close(Handle socket) { ::closesocket(Native(socket)); }

std::string ErrorText(int code) {
  WideString text;
  if (!platform::SystemMessage(static_cast<uint32_t>(code), &text)) {
    return "Winsock error " + std::to_string(code);
  }
  std::string utf8 = platform::Utf16ToUtf8(text.data(), text.size());
  // The system's texts end with a period and a line break.
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.')) {
    utf8.pop_back();
  }
  return utf8;
}

std::string Failure(const std::string& what) { return what + ": " + ErrorText(::WSAGetLastError()); }

}  // namespace loopback_socket
