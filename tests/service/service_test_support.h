// Loopback peers for the service tests: a raw HTTP capture peer, a spawned
// background program, and the pieces of SOAP text the tests compare.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/standin/child_process.h"
#include "tests/common/loopback_server.h"

namespace service_test {

using testing_support::HttpRequest;

// Listens on a loopback address with a port the system picks, reads each
// request whole (by Content-Length) and answers it with the next canned reply;
// with no reply left it holds the connection open without answering.
class CapturePeer {
 public:
  explicit CapturePeer(const std::string& address = "127.0.0.1");
  ~CapturePeer();
  CapturePeer(const CapturePeer&) = delete;
  CapturePeer& operator=(const CapturePeer&) = delete;

  int port() const { return server_.port(); }
  std::string Url(const std::string& path = "/svc") const { return server_.Url(path); }
  void Reply(const std::string& response);  // queue one HTTP response
  std::vector<HttpRequest> Requests();
  size_t Connections() const { return connections_; }

 private:
  void Serve(platform::Socket connection);
  std::atomic<size_t> connections_{0};
  std::mutex mutex_;
  std::vector<std::string> replies_;
  std::vector<HttpRequest> requests_;
  testing_support::LoopbackServer server_;
};

// A full HTTP/1.1 200 response with a SOAP envelope around `body`.
std::string HttpOk(const std::string& envelope);
std::string Soap11(const std::string& body, const std::string& header = "");
std::string Soap12(const std::string& body, const std::string& header = "");
std::string SetResponse(const std::string& inner);  // s:SetResponse element
std::string Fault11(const std::string& code);
std::string Fault12(const std::string& code);

// The character data of the first element named `tag`, undecoded; empty
// when absent.
std::string ElementText(const std::string& xml, const std::string& tag);
bool HasElement(const std::string& xml, const std::string& tag);
// Replaces the five predefined entities and numeric character references.
std::string DecodeXmlText(const std::string& text);
size_t CountOf(const std::string& text, const std::string& part);

// A program running in the background until stopped.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv, const std::string& stdoutFile,
                    const std::map<std::string, std::string>& env = {});
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;
  // Asks it to stop (SIGTERM) where the system can, ends it otherwise, and
  // waits; answers the exit code, -1 when it was killed.
  int Stop();
  // Waits for the process to end by itself, at most `seconds`.
  int Wait(int seconds);
  // The child's process id while it runs.
  long pid() const { return process_.id(); }

 private:
  platform::ChildProcess process_;
  bool ended_ = false;
  int status_ = -1;
};

// Waits until `path` holds a port number; 0 after `seconds`.
int WaitForPortFile(const std::string& path, int seconds = 10);
std::string DevconfServicePath();
// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();

}  // namespace service_test
