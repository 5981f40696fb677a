// A device-configuration peer for benchmarks: answers every Set at once with a
// fixed SetResponse, on a loopback port, from a thread of the benchmark.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class LoopbackSetPeer {
 public:
  LoopbackSetPeer() = default;
  ~LoopbackSetPeer();
  LoopbackSetPeer(const LoopbackSetPeer&) = delete;
  LoopbackSetPeer& operator=(const LoopbackSetPeer&) = delete;

  // Listens on 127.0.0.1:port (0 picks a free port) and answers r. False with
  // `error` set when the port cannot be had.
  bool Start(int port, int32_t r, std::string* error);
  void Stop();

  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  // Requests read whole and answered.
  long answered() const { return answered_.load(); }
  // Requests that were cut short or could not be read.
  long refused() const { return refused_.load(); }

 private:
  void Serve();
  bool Answer(int fd);

  int listener_ = -1;
  int port_ = 0;
  std::string response_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<long> answered_{0};
  std::atomic<long> refused_{0};
};

// True when something accepts connections on 127.0.0.1:port.
bool SomethingListensOn(int port);
