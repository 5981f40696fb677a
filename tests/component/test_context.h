// Test doubles for the host: a counting context, a report log, a memory cap.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "ondra/ondra.h"

namespace component_test {

class TestContext : public ondra::iComponentContext {
 public:
  enum class Connect { kReturn, kThrowHostException, kThrowBadAlloc, kThrowMemoryException, kThrowInt, kThrowStd };

  explicit TestContext(Connect behaviour = Connect::kReturn, int answer = 0) : behaviour_(behaviour), answer_(answer) {}
  virtual ~TestContext() = default;

  const WideChar* getWorkflowName() const override { return ++calls[0], WIDE("test"); }
  const WideChar* getStepName() const override { return ++calls[1], WIDE("step"); }
  const WideChar* getParameter(const WideChar*) const override { return ++calls[2], nullptr; }
  bool setOutput(const WideChar*, const WideChar*) override { return ++calls[3], false; }
  void writeLog(const WideChar*) override { ++calls[4]; }
  bool isCancelled() const override { return ++calls[5], false; }
  int connect() override {
    ++calls[6];
    switch (behaviour_) {
      case Connect::kThrowHostException: throw ondra::Exception(WIDE("step %ls refused"), WIDE("connect"));
      case Connect::kThrowBadAlloc: throw std::bad_alloc();
      case Connect::kThrowMemoryException: throw ondra::MemoryException(3, 8);
      case Connect::kThrowInt: throw 42;
      case Connect::kThrowStd: throw std::runtime_error("broken");
      case Connect::kReturn: break;
    }
    return answer_;
  }

  mutable std::vector<int> calls = std::vector<int>(7, 0);

 private:
  Connect behaviour_;
  int answer_;
};

// Collects what components report while it lives.
class ReportLog {
 public:
  ReportLog() { ondra::Exception::SetReporter(&Add, this); }
  ~ReportLog() { ondra::Exception::SetReporter(nullptr, nullptr); }
  ReportLog(const ReportLog&) = delete;
  ReportLog& operator=(const ReportLog&) = delete;
  std::vector<WideString> messages;

 private:
  static void Add(const ondra::Exception& e, void* self) {
    static_cast<ReportLog*>(self)->messages.push_back(e.getMessage());
  }
};

// Caps the host allocator at what is held now plus `extra` bytes.
class AllocLimit {
 public:
  explicit AllocLimit(std::size_t extra) { ondra::AllocBase::SetLimit(ondra::AllocBase::OutstandingBytes() + extra); }
  ~AllocLimit() { ondra::AllocBase::SetLimit(0); }
  AllocLimit(const AllocLimit&) = delete;
  AllocLimit& operator=(const AllocLimit&) = delete;
};

inline std::string Narrow(const WideString& s) { return std::string(s.begin(), s.end()); }

}  // namespace component_test
