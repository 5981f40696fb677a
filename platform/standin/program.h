// The running program as the stand-in hosts and the tests see it: its
// arguments, its folder, its standard streams and requests to stop it.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments as UTF-8 whatever the ANSI code page (on Windows, read from
// the wide command line), so that attribute texts and file names reach the
// program whole.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The running program's folder in UTF-8, without a trailing separator; "."
// when it cannot be found.
std::string ProgramFolder();

// Standard input and output carry bytes: no CR LF translation on the way.
void SetBinaryStandardStreams();

// While it lives, `handler` runs when the user or a service manager asks the
// program to stop: SIGINT and SIGTERM, and Ctrl-Break on Windows. It runs in
// signal context, so it may only set a flag or Shutdown() a socket. The
// previous handlers come back on destruction.
class StopRequests {
 public:
  explicit StopRequests(void (*handler)(int));
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

 private:
  struct Previous;
  Previous* previous_;
};

}  // namespace platform
