// Misbehaving loopback peers, over the per-system socket calls.
#include "tests/service/hostile_peer.h"

#include <chrono>
#include <thread>

#include "tests/service/service_test_support.h"

namespace service_test {
namespace {

using platform::Socket;

constexpr size_t kHugeBodyBytes = 100u * 1024 * 1024;
constexpr size_t kHugeFaultStringBytes = 60u * 1024 * 1024;
constexpr size_t kNestingLevels = 200000;

const std::string kEnvelopeHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<env:Envelope"
    " xmlns:env=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:s=\"urn:quorvil:device-configuration\"><env:Body>";
const std::string kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const std::string kEnvelopeTail = "</env:Body></env:Envelope>";

std::string Head(const char* status, const char* type, size_t length) {
  return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

}  // namespace

HostilePeer::HostilePeer(Hostility hostility, int port)
    : hostility_(hostility), server_([this](Socket c) { Serve(c); }, "127.0.0.1", port) {}

HostilePeer::~HostilePeer() = default;

bool HostilePeer::SendAll(Socket connection, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size() && server_.Writable(connection)) {
    const long n = platform::Send(connection, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;  // the client gave up
    done += static_cast<size_t>(n);
    sent_ += static_cast<size_t>(n);
  }
  return done == bytes.size();
}

void HostilePeer::Serve(Socket c) {
  if (hostility_ == Hostility::kCloseEarly) {
    // What is left unread resets the connection while the client still writes.
    char buffer[65536];
    if (server_.Readable(c) && platform::Receive(c, buffer, sizeof buffer) > 0) ++requests_;
    return;
  }
  testing_support::HttpRequest request;
  if (server_.ReadRequest(c, &request) == testing_support::LoopbackServer::Received::kWhole) {
    ++requests_;
    Answer(c);
  }
}

void HostilePeer::Answer(Socket c) {
  switch (hostility_) {
    case Hostility::kTrickle: {
      const std::string reply = HttpOk(Soap11(SetResponse("<s:r>1</s:r>")));
      for (char byte : reply) {
        if (!SendAll(c, std::string(1, byte))) return;
        for (int i = 0; i < 20 && !server_.stopping(); ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
      }
      return;
    }
    case Hostility::kHtml500: {
      const std::string page = "<html><body><h1>Internal Server Error</h1></body></html>";
      SendAll(c, Head("500 Internal Server Error", "text/html", page.size()) + page);
      return;
    }
    case Hostility::kHugeBody:
    case Hostility::kHugeFaultString: {
      const bool fault = hostility_ == Hostility::kHugeFaultString;
      // Both fill text the runtime would keep: a fault string, or a header
      // member ahead of a valid SetResponse.
      const std::string open =
          fault ? kEnvelopeHead + "<env:Fault><faultcode>env:Server</faultcode><faultstring>"
                : kEnvelopeHead.substr(0, kEnvelopeHead.size() - 10) +
                      "<env:Header><wsa:MessageID xmlns:wsa=\"" + kAddressing + "\">";
      const std::string close =
          (fault ? "</faultstring></env:Fault>"
                 : "</wsa:MessageID></env:Header><env:Body><s:SetResponse><s:r>1</s:r>"
                   "</s:SetResponse>") +
          kEnvelopeTail;
      const size_t fill = fault ? kHugeFaultStringBytes : kHugeBodyBytes - open.size() - close.size();
      const size_t length = open.size() + fill + close.size();
      if (!SendAll(c, Head(fault ? "500 Internal Server Error" : "200 OK", "text/xml", length) +
                          open))
        return;
      const std::string block(64 * 1024, 'x');
      for (size_t left = fill; left > 0;) {
        const size_t n = left < block.size() ? left : block.size();
        if (!SendAll(c, block.substr(0, n))) return;
        left -= n;
      }
      SendAll(c, close);
      return;
    }
    case Hostility::kDeepNesting: {
      // Opening tags only, so that the whole stays within the receive limit
      // and the parser itself meets the depth.
      std::string body = kEnvelopeHead + "<s:SetResponse><s:r>1</s:r>";
      body.reserve(kNestingLevels * 3 + 256);
      for (size_t i = 0; i < kNestingLevels; ++i) body += "<a>";
      body += "</s:SetResponse>" + kEnvelopeTail;
      SendAll(c, Head("200 OK", "text/xml", body.size()) + body);
      return;
    }
    case Hostility::kCloseMidResponse: {
      const std::string reply = HttpOk(Soap11(SetResponse("<s:r>1</s:r>")));
      SendAll(c, reply.substr(0, reply.size() - 60));
      return;
    }
    case Hostility::kCloseEarly:
      return;
    case Hostility::kHugeChunk: {
      SendAll(c, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n"
                 "Connection: close\r\n\r\nFFFFFFFF\r\n" + kEnvelopeHead);
      const std::string block(64 * 1024, ' ');
      for (int i = 0; i < 64; ++i) {
        if (!SendAll(c, block)) return;
      }
      return;
    }
  }
}

}  // namespace service_test
