// Test helpers that need nothing of the system beyond what its own file gives.
#include "tests/test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace testing_support {

std::string BuildDir() {
  const char* dir = std::getenv("QUORVIL_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

std::string SourceDir() {
  const char* dir = std::getenv("QUORVIL_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string PluginPath() { return BuildDir() + "/plugin/" + PluginFileName(); }

Deadline::Deadline(const char* what, int seconds)
    : watcher_([this, what, seconds] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!left_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
          std::fprintf(stderr, "%s: not done after %d s, the test program stops\n", what, seconds);
          std::fflush(stderr);
          std::_Exit(1);
        }
      }) {}

Deadline::~Deadline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  left_.notify_one();
  watcher_.join();
}

ScopedRoot::ScopedRoot(const std::string& root) {
  const char* prev = std::getenv("QUORVIL_ROOT");
  hadPrevious_ = prev != nullptr;
  if (hadPrevious_) previous_ = prev;
  SetVariable("QUORVIL_ROOT", root.c_str());
}

ScopedRoot::~ScopedRoot() { SetVariable("QUORVIL_ROOT", hadPrevious_ ? previous_.c_str() : nullptr); }

}  // namespace testing_support
