// The client side of the agent's command service.
#include "hosts/agent/transport.h"

#include <sstream>

#include "agentH.h"
#include "platform/standin/loopback_socket.h"

extern SOAP_NMAC struct Namespace namespaces[];

namespace {

// The plug-in may wait on its own peers for 2 x 15 s per service call.
constexpr int kAnswerTimeoutMs = 120 * 1000;

}  // namespace

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

bool Exchange(const LoopbackUrl& url, const std::string& request, std::string* response,
              std::string* error) {
  using namespace platform;
  const OwnedSocket connection =
      Connect(url.host, url.port, "cannot connect to " + url.hostHeader, error);
  if (!connection.is_open()) return false;
  const Socket socket = connection.get();
  bool ok = SendAll(socket, request);
  if (!ok) *error = SocketFailure("cannot send the request");
  // The request is whole: a server reading to the end of input stops there.
  if (ok) FinishSending(socket);
  while (ok) {
    const int ready = WaitReadable(socket, kAnswerTimeoutMs);
    if (ready <= 0) {
      *error = ready == 0 ? "no answer from the agent" : SocketFailure("poll");
      ok = false;
      break;
    }
    char buffer[8192];
    const long n = Receive(socket, buffer, sizeof buffer);
    if (n < 0) {
      *error = SocketFailure("cannot read the answer");
      ok = false;
    }
    if (n <= 0) break;
    response->append(buffer, static_cast<size_t>(n));
  }
  return ok;
}
