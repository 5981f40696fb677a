// The running process as the system sees it: the clock, the debugger output,
// the texts of system error codes, and writes to a broken pipe.
#pragma once

#include <cstdint>

#include "platform/wide.h"

namespace platform {

struct LocalTimeOfDay {
  int year, month, day, hour, minute, second, milliseconds;
};

// The local time (GetLocalTime).
LocalTimeOfDay LocalTime();

// Milliseconds since boot, as an unsigned 32-bit count that wraps
// (GetTickCount).
uint32_t TickCount();

// The debugger output channel (OutputDebugStringW); elsewhere the text as it
// is, UTF-8 encoded, on the process's standard error.
void DebugOutput(const WideString& text);

// The system's message for an error code, as it gives it (FormatMessageW
// FROM_SYSTEM); false when it has none.
bool SystemMessage(uint32_t code, WideString* text);

// Writes to the host's standard streams that cannot end the host: for its
// lifetime, a write of this thread to a pipe that nobody reads any more fails
// (EPIPE) rather than ending the process with SIGPIPE. The thread's signal
// mask and the process's dispositions are left as they were, and a SIGPIPE
// that was pending before is left pending. Guards nest.
class BrokenPipeGuard {
 public:
  BrokenPipeGuard();
  ~BrokenPipeGuard();
  BrokenPipeGuard(const BrokenPipeGuard&) = delete;
  BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

 private:
  bool wasBlocked_ = false;
  bool wasPending_ = false;
};

}  // namespace platform
