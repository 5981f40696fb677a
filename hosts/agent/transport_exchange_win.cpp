// Posting a request to a serving agent over Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

#include "hosts/agent/transport.h"

namespace {

// The plug-in may wait on its own peers for 2 x 15 s per service call.
constexpr int kAnswerTimeoutMs = 120 * 1000;

std::string Failure(const std::string& what) {
  return what + ": Winsock error " + std::to_string(::WSAGetLastError());
}

}  // namespace

bool Exchange(const LoopbackUrl& url, const std::string& request, std::string* response,
              std::string* error) {
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    *error = "Winsock cannot start";
    return false;
  }
  sockaddr_storage address{};
  int length = 0;
  int family = AF_INET;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  if (::inet_pton(AF_INET, url.host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(url.port));
    length = sizeof *v4;
  } else {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    ::inet_pton(AF_INET6, url.host.c_str(), &v6->sin6_addr);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(url.port));
    length = sizeof *v6;
    family = AF_INET6;
  }
  const SOCKET s = ::socket(family, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) {
    *error = Failure("socket");
    ::WSACleanup();
    return false;
  }
  bool ok = false;
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    *error = Failure("cannot connect to " + url.hostHeader);
  } else {
    size_t sent = 0;
    while (sent < request.size()) {
      const size_t chunk = request.size() - sent < 65536 ? request.size() - sent : 65536;
      const int n = ::send(s, request.data() + sent, static_cast<int>(chunk), 0);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    if (sent < request.size()) {
      *error = Failure("cannot send the request");
    } else {
      ok = true;
      for (;;) {
        WSAPOLLFD p = {s, POLLRDNORM, 0};
        const int ready = ::WSAPoll(&p, 1, kAnswerTimeoutMs);
        if (ready <= 0) {
          *error = ready == 0 ? std::string("no answer from the agent") : Failure("poll");
          ok = false;
          break;
        }
        char buffer[8192];
        const int n = ::recv(s, buffer, sizeof buffer, 0);
        if (n < 0) {
          *error = Failure("cannot read the answer");
          ok = false;
          break;
        }
        if (n == 0) break;
        response->append(buffer, static_cast<size_t>(n));
      }
    }
  }
  ::closesocket(s);
  ::WSACleanup();
  return ok;
}
