// Loopback capture peer, background programs and SOAP text helpers.
#include "tests/service/service_test_support.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>

#include "tests/common/test_support.h"

namespace service_test {

CapturePeer::CapturePeer(const std::string& address)
    : server_([this](platform::Socket c) { Serve(c); }, address) {}

CapturePeer::~CapturePeer() = default;

void CapturePeer::Reply(const std::string& response) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.push_back(response);
}

std::vector<HttpRequest> CapturePeer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string HttpOk(const std::string& envelope) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
         std::to_string(envelope.size()) + "\r\nConnection: close\r\n\r\n" + envelope;
}

namespace {

std::string Envelope(const char* uri, const std::string& body, const std::string& header) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<env:Envelope xmlns:env=\"") +
         uri +
         "\" xmlns:s=\"urn:quorvil:device-configuration\""
         " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
         " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">" +
         (header.empty() ? "" : "<env:Header>" + header + "</env:Header>") + "<env:Body>" + body +
         "</env:Body></env:Envelope>";
}

}  // namespace

std::string Soap11(const std::string& body, const std::string& header) {
  return Envelope("http://schemas.xmlsoap.org/soap/envelope/", body, header);
}

std::string Soap12(const std::string& body, const std::string& header) {
  return Envelope("http://www.w3.org/2003/05/soap-envelope", body, header);
}

std::string SetResponse(const std::string& inner) {
  return "<s:SetResponse>" + inner + "</s:SetResponse>";
}

std::string Fault11(const std::string& code) {
  return "<env:Fault><faultcode>" + code +
         "</faultcode><faultstring>refused by the test</faultstring></env:Fault>";
}

std::string Fault12(const std::string& code) {
  return "<env:Fault><env:Code><env:Value>" + code +
         "</env:Value></env:Code><env:Reason><env:Text xml:lang=\"en\">refused by the test"
         "</env:Text></env:Reason></env:Fault>";
}

std::string ElementText(const std::string& xml, const std::string& tag) {
  size_t open = xml.find("<" + tag);
  while (open != std::string::npos) {
    char next = xml[open + 1 + tag.size()];
    if (next == '>' || next == ' ') break;
    open = xml.find("<" + tag, open + 1);
  }
  if (open == std::string::npos) return std::string();
  size_t start = xml.find('>', open) + 1;
  size_t end = xml.find("</" + tag + ">", start);
  return end == std::string::npos ? std::string() : xml.substr(start, end - start);
}

bool HasElement(const std::string& xml, const std::string& tag) {
  return xml.find("<" + tag + ">") != std::string::npos ||
         xml.find("<" + tag + " ") != std::string::npos ||
         xml.find("<" + tag + "/>") != std::string::npos;
}

namespace {

void AppendUtf8(std::string* out, unsigned long c) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string DecodeXmlText(const std::string& text) {
  static const std::map<std::string, char> kNamed = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t semi;
    if (text[i] != '&' || (semi = text.find(';', i)) == std::string::npos) {
      out += text[i];
      continue;
    }
    std::string name = text.substr(i + 1, semi - i - 1);
    if (!name.empty() && name[0] == '#') {
      bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
      AppendUtf8(&out, std::strtoul(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10));
    } else if (kNamed.count(name)) {
      out += kNamed.at(name);
    } else {
      out += text.substr(i, semi - i + 1);
    }
    i = semi;
  }
  return out;
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string DevconfServicePath() {
  return testing_support::BuildDir() + "/hosts/devconf/devconf-service";
}

// One connection: reads a whole request, keeps it, answers with the next
// queued reply, or with nothing until the client gives up.
void CapturePeer::Serve(platform::Socket c) {
  ++connections_;
  HttpRequest request;
  const bool headed =
      server_.ReadRequest(c, &request) != testing_support::LoopbackServer::Received::kNoHead;
  std::string reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (headed) requests_.push_back(request);
    if (!replies_.empty()) {
      reply = replies_.front();
      replies_.erase(replies_.begin());
    }
  }
  if (reply.empty()) {
    char buffer[4096];
    while (server_.Readable(c) && platform::Receive(c, buffer, sizeof buffer) > 0) {
    }
  } else {
    platform::SendAll(c, reply);
  }
}

int WaitForPortFile(const std::string& path, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(path);
    int port = 0;
    if (in >> port && port > 0) return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

int ClosedPort() {
  const platform::OwnedSocket s = platform::Listen("127.0.0.1", 0);
  return s.is_open() ? platform::BoundPort(s.get()) : 0;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& stdoutFile,
                                     const std::map<std::string, std::string>& env) {
  using platform::ChildStream;
  std::string error;
  ended_ = !process_.Start(argv, env, ChildStream::Null(), ChildStream::File(stdoutFile),
                           ChildStream::Inherit(), &error);
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

int BackgroundProcess::Stop() {
  if (ended_) return status_;
  constexpr int kGraceMs = 30000;
  ended_ = true;
  status_ = testing_support::StopChild(&process_, kGraceMs).code;
  return status_;
}

int BackgroundProcess::Wait(int seconds) {
  if (ended_) return status_;
  platform::ChildExit exit;
  if (!process_.Wait(seconds * 1000, &exit)) {
    process_.Kill();
    process_.Wait(-1, &exit);
  }
  ended_ = true;
  status_ = exit.code;
  return status_;
}

}  // namespace service_test
