// The devconf-service peer of a test as a Windows child process.
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/devconf_peer.h"
#include "tests/test_support.h"
#include "tests/test_support_win.h"

namespace testing_support {
namespace {

int g_counter = 0;

}  // namespace

DevconfPeer::DevconfPeer(int port, const std::vector<std::string>& options) {
  const std::string base = TempBase() + "/quorvil-peer-" +
                           std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(g_counter++);
  logPath_ = base + ".log";
  portPath_ = base + ".port";
  RemoveTree(logPath_);
  RemoveTree(portPath_);
  std::vector<std::string> argv = {BuildDir() + "/hosts/devconf/devconf-service.exe", "--port",
                                   std::to_string(port), "--log", logPath_, "--port-file",
                                   portPath_};
  argv.insert(argv.end(), options.begin(), options.end());
  pid_ = static_cast<pid_t>(StartProcess(argv));
  if (pid_ <= 0) {
    pid_ = -1;
    return;
  }
  // Bounded wait for the service to say where it listens.
  for (int i = 0; i < 1000 && port_ == 0; ++i) {
    const std::string text = ReadFile(portPath_);
    if (!text.empty() && text.back() == '\n') port_ = std::atoi(text.c_str());
    if (port_ == 0 && !ProcessRunning(static_cast<unsigned long>(pid_))) {
      pid_ = -1;
      break;
    }
    if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

DevconfPeer::~DevconfPeer() {
  Stop();
  RemoveTree(logPath_);
  RemoveTree(portPath_);
}

void DevconfPeer::Stop() {
  if (pid_ > 0) {
    StopProcess(static_cast<unsigned long>(pid_));
    pid_ = -1;
  }
}

bool PortIsFree(int port) {
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  bool connected = false;
  if (s != INVALID_SOCKET) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::closesocket(s);
  }
  ::WSACleanup();
  return !connected;
}

}  // namespace testing_support
