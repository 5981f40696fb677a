#include "platform/broken_pipe.h"

#include <signal.h>

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

sigset_t PipeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool PipeSignalPending() {
  sigset_t pending;
  sigemptyset(&pending);
  return ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

// The signal a write raises on a broken pipe goes to the writing thread. Held
// blocked, it stays pending there, and is taken off before the mask comes
// back, unless one was pending already: that one is not ours to take.
BrokenPipeGuard::BrokenPipeGuard() {
  wasPending_ = PipeSignalPending();
  const sigset_t set = PipeSignal();
  sigset_t previous;
  sigemptyset(&previous);
  ::pthread_sigmask(SIG_BLOCK, &set, &previous);
  wasBlocked_ = sigismember(&previous, SIGPIPE) == 1;
}

BrokenPipeGuard::~BrokenPipeGuard() {
  const sigset_t set = PipeSignal();
  if (!wasPending_ && PipeSignalPending()) {
    const timespec now = {0, 0};
    while (::sigtimedwait(&set, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  if (!wasBlocked_) ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace platform
