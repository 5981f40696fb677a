#include "platform/process.h"

#include <signal.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "text/utf.h"

namespace platform {

LocalTimeOfDay LocalTime() {
  struct timeval tv {};
  ::gettimeofday(&tv, nullptr);
  struct tm tm {};
  time_t secs = tv.tv_sec;
  ::localtime_r(&secs, &tm);
  return LocalTimeOfDay{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                        tm.tm_min,         tm.tm_sec,     static_cast<int>(tv.tv_usec / 1000)};
}

uint32_t TickCount() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_BOOTTIME, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                      static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void DebugOutput(const WideString& text) {
  const std::string bytes = unicode::Utf16ToUtf8(text.data(), text.size());
  const char* p = bytes.data();
  size_t left = bytes.size();
  // The host's standard error may be a pipe its reader has left.
  BrokenPipeGuard quiet;
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

namespace {

// strerror_r comes in two flavours; take whichever this C library has.
[[maybe_unused]] const char* Pick(int result, const char* buf) { return result == 0 ? buf : nullptr; }
[[maybe_unused]] const char* Pick(const char* result, const char*) { return result; }

}  // namespace

bool SystemMessage(uint32_t code, WideString* text) {
  if (code > 0x7fffffffu) return false;
  char buf[256] = {};
  const char* msg = Pick(::strerror_r(static_cast<int>(code), buf, sizeof buf), buf);
  if (msg == nullptr || *msg == '\0') return false;
  const std::string s(msg);
  if (s.rfind("Unknown error", 0) == 0) return false;
  // The system texts end in CR LF on Windows; callers cut at the CR.
  *text = unicode::Utf8ToUtf16(s.data(), s.size()) + WIDE("\r\n");
  return true;
}

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
