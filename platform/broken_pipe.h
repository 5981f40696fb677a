// Writes to the host's standard streams that cannot end the host.
#pragma once

namespace platform {

// For its lifetime, a write of this thread to a pipe that nobody reads any
// more fails (EPIPE) rather than ending the process with SIGPIPE. The
// thread's signal mask and the process's dispositions are left as they were,
// and a SIGPIPE that was pending before is left pending. Guards nest.
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
