// Programs started by the stand-in hosts and the tests: their arguments,
// environment and standard streams, and how they are stopped and end.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Where one of a child's standard streams goes.
struct ChildStream {
  enum class Kind { kInherit, kNull, kPipe, kFile };
  static ChildStream Inherit() { return {Kind::kInherit, std::string()}; }
  static ChildStream Null() { return {Kind::kNull, std::string()}; }
  static ChildStream Pipe() { return {Kind::kPipe, std::string()}; }
  // The UTF-8 `path`, emptied first; for output streams only.
  static ChildStream File(const std::string& path) { return {Kind::kFile, path}; }
  Kind kind;
  std::string path;
};

struct ChildExit {
  int code = -1;           // -1 when a signal or an exception ended it
  int signal = 0;          // that POSIX signal, or Windows exception code
  long peakKilobytes = 0;  // peak resident set (working set); 0 when unknown
};

enum class StopRequest { kInterrupt, kTerminate };

class ChildProcess {
 public:
  ChildProcess();
  // A child still running is killed and waited for.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `argv` (argv[0] a path) with `env` laid over this process's
  // environment; false with the reason in `error`. A program that cannot be
  // executed after the start ends with code 127. On Windows the child ends
  // with this process however this one ends.
  bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const ChildStream& in, const ChildStream& out, const ChildStream& err,
             std::string* error);
  long id() const;

  // The pipes, blocking; each may be used from a thread of its own.
  // Writes all of `bytes` and closes the input; false when the child stopped
  // reading first. Never raises a signal.
  bool WriteInput(const std::string& bytes);
  void CloseInput();
  // Bytes read, 0 at the end of the stream, negative on failure.
  long ReadOutput(char* buffer, size_t size);
  long ReadError(char* buffer, size_t size);
  // Stops reading: the child's later writes meet a pipe without a reader.
  void CloseOutput();
  void CloseError();

  bool Running();
  // Asks the child to stop as a terminal (kInterrupt) or a service manager
  // (kTerminate) would. False where the system has no such request for a
  // process without a console (Windows): the caller then Kill()s it.
  bool RequestStop(StopRequest request);
  static bool CanRequestStop();
  void Kill();
  // Waits at most `timeoutMs` (negative: without limit) for the end; false
  // while the child still runs. Once it has ended, answers the same again.
  bool Wait(int timeoutMs, ChildExit* exit);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
