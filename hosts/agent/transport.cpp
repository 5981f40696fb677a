// The client side of the agent's command service.
#include "hosts/agent/transport.h"

#ifndef _WIN32  // Winsock: the gSOAP header; Exchange: transport_exchange_win.cpp
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <sstream>

#include "agentH.h"

extern SOAP_NMAC struct Namespace namespaces[];

#ifndef _WIN32
namespace {

// The plug-in may wait on its own peers for 2 x 15 s per service call.
constexpr int kAnswerTimeoutMs = 120 * 1000;

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace
#endif

CommandAnswer ReadAnswer(const std::string& httpResponse) {
  CommandAnswer answer;
  struct soap* soap = soap_new1(SOAP_C_UTFSTRING);
  std::istringstream in(httpResponse);
  soap->is = &in;
  soap_set_namespaces(soap, namespaces);
  _agent__PostCommandResponse response;
  soap_default__agent__PostCommandResponse(soap, &response);
  const int status = soap_recv___agent__PostCommand(soap, &response);
  if (status == SOAP_OK) {
    answer.kind = response.Result != nullptr ? CommandAnswer::kResult : CommandAnswer::kNoResult;
    if (response.Result != nullptr) answer.result = *response.Result;
  } else {
    // A fault that was read answers SOAP_CLI_FAULT or SOAP_SVR_FAULT by its
    // code, else SOAP_FAULT or the HTTP status.
    const bool faultRead = soap->fault != nullptr &&
                           (status == SOAP_FAULT || status == SOAP_CLI_FAULT ||
                            status == SOAP_SVR_FAULT || (status >= 400 && status < 600));
    answer.kind = faultRead ? CommandAnswer::kFault : CommandAnswer::kUnreadable;
    const char* text = soap_fault_string(soap);
    const char* detail = soap_fault_detail(soap);
    answer.message = text != nullptr ? text : "no fault string";
    if (detail != nullptr && *detail != '\0') answer.message += std::string(" (") + detail + ")";
  }
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
  return answer;
}

bool ParseLoopbackUrl(const std::string& url, LoopbackUrl* parsed, std::string* error) {
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) {
    *error = "only http:// URLs are supported: " + url;
    return false;
  }
  const std::string rest = url.substr(scheme.size());
  const size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  parsed->path = slash == std::string::npos ? "/" : rest.substr(slash);
  parsed->hostHeader = authority;
  std::string host = authority;
  std::string port;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) {
      *error = "malformed address in " + url;
      return false;
    }
    host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') {
        *error = "malformed address in " + url;
        return false;
      }
      port = authority.substr(close + 2);
    }
  } else if (const size_t colon = authority.find(':'); colon != std::string::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) < 1 || std::stoi(port) > 65535) {
      *error = "bad port in " + url;
      return false;
    }
    parsed->port = std::stoi(port);
  }
  if (host == "localhost") host = "127.0.0.1";
  in_addr v4{};
  in6_addr v6{};
  const bool loopback4 = ::inet_pton(AF_INET, host.c_str(), &v4) == 1 &&
                         (ntohl(v4.s_addr) >> 24) == 127;
  const bool loopback6 = ::inet_pton(AF_INET6, host.c_str(), &v6) == 1 &&
                         IN6_IS_ADDR_LOOPBACK(&v6);
  if (!loopback4 && !loopback6) {
    *error = "refusing to send to " + url + ": only loopback addresses (127.0.0.0/8, ::1, "
             "localhost) are allowed";
    return false;
  }
  parsed->host = host;
  return true;
}

#ifndef _WIN32
bool Exchange(const LoopbackUrl& url, const std::string& request, std::string* response,
              std::string* error) {
  sockaddr_storage address{};
  socklen_t length = 0;
  int family = AF_INET;
  if (::inet_pton(AF_INET, url.host.c_str(), &reinterpret_cast<sockaddr_in*>(&address)->sin_addr) ==
      1) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
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
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = Errno("socket");
    return false;
  }
  bool ok = false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    *error = Errno(("cannot connect to " + url.hostHeader).c_str());
  } else {
    size_t sent = 0;
    while (sent < request.size()) {
      const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    if (sent < request.size()) {
      *error = Errno("cannot send the request");
    } else {
      ok = true;
      for (;;) {
        pollfd p = {fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kAnswerTimeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
          *error = ready == 0 ? "no answer from the agent" : Errno("poll");
          ok = false;
          break;
        }
        char buffer[8192];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          *error = Errno("cannot read the answer");
          ok = false;
          break;
        }
        if (n == 0) break;
        response->append(buffer, static_cast<size_t>(n));
      }
    }
  }
  ::close(fd);
  return ok;
}
#endif
