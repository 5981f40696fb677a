// Child processes through fork and execve.
#include "platform/standin/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

// The environment the child starts with, built before the fork: between fork
// and exec a child of a threaded process may only make async-signal-safe calls.
std::vector<std::string> Environment(const std::map<std::string, std::string>& env) {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr && env.count(std::string(*e, static_cast<size_t>(eq - *e))) != 0) continue;
    entries.emplace_back(*e);
  }
  for (const auto& kv : env) entries.push_back(kv.first + "=" + kv.second);
  return entries;
}

// The child's end of one stream, and for a pipe this side's end; -1 for an
// inherited stream.
bool Open(const ChildStream& stream, bool input, int* childEnd, int* ourEnd) {
  switch (stream.kind) {
    case ChildStream::Kind::kInherit:
      return true;
    case ChildStream::Kind::kNull:
      *childEnd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
      return *childEnd >= 0;
    case ChildStream::Kind::kFile:
      *childEnd = ::open(stream.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      return *childEnd >= 0;
    case ChildStream::Kind::kPipe: {
      int ends[2];
      if (::pipe2(ends, O_CLOEXEC) != 0) return false;
      *childEnd = input ? ends[0] : ends[1];
      *ourEnd = input ? ends[1] : ends[0];
      return true;
    }
  }
  return false;
}

long ReadFd(int fd, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

}  // namespace

struct ChildProcess::State {
  pid_t pid = -1;
  int in = -1, out = -1, err = -1;
  bool ended = false;
  ChildExit exit;
};

ChildProcess::ChildProcess() : state_(new State) {}

ChildProcess::~ChildProcess() {
  if (state_->pid > 0 && !state_->ended) {
    Kill();
    ChildExit ignored;
    Wait(-1, &ignored);
  }
  CloseFd(&state_->in);
  CloseFd(&state_->out);
  CloseFd(&state_->err);
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env, const ChildStream& in,
                         const ChildStream& out, const ChildStream& err, std::string* error) {
  int child[3] = {-1, -1, -1};
  const bool opened = Open(in, true, &child[0], &state_->in) &&
                      Open(out, false, &child[1], &state_->out) &&
                      Open(err, false, &child[2], &state_->err);
  std::vector<std::string> envEntries = Environment(env);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (std::string& e : envEntries) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (opened && !argv.empty()) pid = ::fork();
  if (pid == 0) {
    for (int stream = 0; stream < 3; ++stream) {
      if (child[stream] >= 0) ::dup2(child[stream], stream);  // clears close-on-exec
    }
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  for (int& fd : child) CloseFd(&fd);
  if (pid < 0) {
    *error = argv.empty() ? std::string("no program to start")
             : !opened    ? "cannot open the child's streams: " + std::string(std::strerror(errno))
                          : "fork failed: " + std::string(std::strerror(errno));
    CloseFd(&state_->in);
    CloseFd(&state_->out);
    CloseFd(&state_->err);
    return false;
  }
  state_->pid = pid;
  return true;
}

long ChildProcess::id() const { return static_cast<long>(state_->pid); }

bool ChildProcess::WriteInput(const std::string& bytes) {
  // A child that stops reading must fail the write, not end this process.
  size_t written = 0;
  {
    BrokenPipeGuard quiet;
    while (written < bytes.size()) {
      const ssize_t n = ::write(state_->in, bytes.data() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      written += static_cast<size_t>(n);
    }
  }
  CloseInput();
  return written == bytes.size();
}

void ChildProcess::CloseInput() { CloseFd(&state_->in); }

void ChildProcess::CloseOutput() { CloseFd(&state_->out); }

void ChildProcess::CloseError() { CloseFd(&state_->err); }

long ChildProcess::ReadOutput(char* buffer, size_t size) { return ReadFd(state_->out, buffer, size); }

long ChildProcess::ReadError(char* buffer, size_t size) { return ReadFd(state_->err, buffer, size); }

bool ChildProcess::Running() {
  ChildExit exit;
  return state_->pid > 0 && !Wait(0, &exit);
}

bool ChildProcess::RequestStop(StopRequest request) {
  if (state_->pid > 0 && !state_->ended) {
    ::kill(state_->pid, request == StopRequest::kInterrupt ? SIGINT : SIGTERM);
  }
  return true;
}

bool ChildProcess::CanRequestStop() { return true; }

void ChildProcess::Kill() {
  if (state_->pid > 0 && !state_->ended) ::kill(state_->pid, SIGKILL);
}

bool ChildProcess::Wait(int timeoutMs, ChildExit* exit) {
  if (state_->pid <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!state_->ended) {
    int status = 0;
    struct rusage usage {};
    const pid_t done = ::wait4(state_->pid, &status, timeoutMs < 0 ? 0 : WNOHANG, &usage);
    if (done < 0 && errno == EINTR) continue;
    if (done == state_->pid) {
      state_->ended = true;
      state_->exit.peakKilobytes = usage.ru_maxrss;
      if (WIFEXITED(status)) state_->exit.code = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) state_->exit.signal = WTERMSIG(status);
      break;
    }
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  *exit = state_->exit;
  return true;
}

}  // namespace platform
