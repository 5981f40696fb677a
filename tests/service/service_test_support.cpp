// Loopback capture peer, background programs and SOAP text helpers.
#include "tests/service/service_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "tests/test_support.h"

namespace service_test {

std::string HttpRequest::Header(const std::string& name) const {
  std::string needle = "\r\n" + name + ": ";
  size_t at = head.find(needle);
  if (at == std::string::npos) return std::string();
  at += needle.size();
  return head.substr(at, head.find("\r\n", at) - at);
}

std::string HttpRequest::RequestLine() const { return head.substr(0, head.find("\r\n")); }

CapturePeer::CapturePeer(const std::string& address) : address_(address) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(listener_, 8) != 0)
    throw std::runtime_error("capture peer cannot listen on " + address);
  socklen_t length = sizeof sa;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &length);
  port_ = ntohs(sa.sin_port);
  thread_ = std::thread([this] { Run(); });
}

CapturePeer::~CapturePeer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::string CapturePeer::Url(const std::string& path) const {
  return "http://" + address_ + ":" + std::to_string(port_) + path;
}

void CapturePeer::Reply(const std::string& response) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.push_back(response);
}

std::vector<HttpRequest> CapturePeer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

namespace {

// Waits for input until the peer stops; false when stopping or closed.
bool Readable(int fd, const std::atomic<bool>& stop) {
  while (!stop) {
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, 50);
    if (n > 0) return true;
  }
  return false;
}

}  // namespace

void CapturePeer::Run() {
  while (Readable(listener_, stop_)) {
    int c = ::accept(listener_, nullptr, nullptr);
    if (c < 0) continue;
    ++connections_;
    std::string data;
    char buffer[65536];
    size_t headEnd = std::string::npos;
    size_t total = std::string::npos;
    while (total == std::string::npos || data.size() < total) {
      if (!Readable(c, stop_)) break;
      ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
      if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
        HttpRequest probe{data.substr(0, headEnd), ""};
        std::string length = probe.Header("Content-Length");
        total = headEnd + 4 + (length.empty() ? 0 : std::stoul(length));
      }
    }
    std::string reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (headEnd != std::string::npos)
        requests_.push_back({data.substr(0, headEnd), data.substr(headEnd + 4)});
      if (!replies_.empty()) {
        reply = replies_.front();
        replies_.erase(replies_.begin());
      }
    }
    if (reply.empty()) {
      while (Readable(c, stop_) && ::recv(c, buffer, sizeof buffer, 0) > 0) {
      }
    } else {
      ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
    ::close(c);
  }
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

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& stdoutFile,
                                     const std::map<std::string, std::string>& env) {
  pid_ = ::fork();
  if (pid_ == 0) {
    int out = ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::close(out);
    for (const auto& kv : env) ::setenv(kv.first.c_str(), kv.second.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
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

int WaitForPortFile(const std::string& path, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(path);
    int port = 0;
    if (in >> port && port > 0) return port;
    ::usleep(20 * 1000);
  }
  return 0;
}

std::string DevconfServicePath() {
  return testing_support::BuildDir() + "/hosts/devconf/devconf-service";
}

int ClosedPort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t length = sizeof sa;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &length);
  ::close(s);
  return ntohs(sa.sin_port);
}

}  // namespace service_test
