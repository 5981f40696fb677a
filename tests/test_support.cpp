// Test helpers that need nothing of the system beyond the platform layer.
#include "tests/test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/module_path.h"
#include "platform/standin/child_process.h"
#include "text/utf.h"

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

std::string PluginFileName() { return QUORVIL_PLUGIN_FILE; }

std::string ProgramFileName(const std::string& name) { return name + QUORVIL_PROGRAM_SUFFIX; }

std::string LibrarySuffix() { return QUORVIL_LIBRARY_SUFFIX; }

std::string CopyThisProgram(const std::string& dir, const std::string& name) {
  // The longest path either system gives back.
  constexpr size_t kMaxPathUnits = 32768;
  const WideString self = platform::ExecutablePath(kMaxPathUnits);
  if (self.empty()) throw std::runtime_error("the running program's path is unknown");
  const std::string path = dir + "/" + ProgramFileName(name);
  WriteFile(path, ReadFile(unicode::Utf16ToUtf8(self.data(), self.size())));
  MakeExecutable(path);
  return path;
}

namespace {

void ReadToEnd(platform::ChildProcess* child, bool errors, std::string* text) {
  char buffer[65536];
  for (long n; (n = errors ? child->ReadError(buffer, sizeof buffer)
                           : child->ReadOutput(buffer, sizeof buffer)) > 0;) {
    text->append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         const std::string& input) {
  using platform::ChildStream;
  ProcessResult result;
  platform::ChildProcess child;
  std::string error;
  if (!child.Start(argv, env, ChildStream::Pipe(), ChildStream::Pipe(), ChildStream::Pipe(),
                   &error)) {
    result.exitCode = 127;
    result.err = error;
    return result;
  }
  // Input, output and errors at once: a child may fill one pipe before it
  // reads all of its input.
  std::thread writer([&] { child.WriteInput(input); });
  std::thread errors([&] { ReadToEnd(&child, true, &result.err); });
  ReadToEnd(&child, false, &result.out);
  writer.join();
  errors.join();
  platform::ChildExit exit;
  child.Wait(-1, &exit);
  result.exitCode = exit.code;
  result.signal = exit.signal;
  return result;
}

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

namespace {

// "[hh:mm:ss][channel]INFO:": answers where the message starts, or npos.
size_t MessageStart(const std::string& line) {
  static const char kTime[] = "[00:00:00][";
  if (line.size() < sizeof kTime - 1) return std::string::npos;
  for (size_t i = 0; i + 1 < sizeof kTime; ++i) {
    const bool ok = kTime[i] == '0' ? line[i] >= '0' && line[i] <= '9' : line[i] == kTime[i];
    if (!ok) return std::string::npos;
  }
  const size_t info = line.find("]INFO:", sizeof kTime - 1);
  if (info == std::string::npos || info == sizeof kTime - 1 ||
      line.find_first_of("[]", sizeof kTime - 1) != info) {
    return std::string::npos;
  }
  return info + 6;
}

}  // namespace

std::vector<std::string> LogMessages(const std::string& text, std::string* bad) {
  std::vector<std::string> messages;
  bad->clear();
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end - start);
    const size_t message = line.empty() ? 0 : MessageStart(line);
    if (end == std::string::npos || message == std::string::npos) {
      *bad = line.substr(0, 200);
      break;
    }
    messages.push_back(line.substr(message));
    start = end + 2;
  }
  return messages;
}

ScopedRoot::ScopedRoot(const std::string& root) {
  const char* prev = std::getenv("QUORVIL_ROOT");
  hadPrevious_ = prev != nullptr;
  if (hadPrevious_) previous_ = prev;
  SetVariable("QUORVIL_ROOT", root.c_str());
}

ScopedRoot::~ScopedRoot() { SetVariable("QUORVIL_ROOT", hadPrevious_ ? previous_.c_str() : nullptr); }

}  // namespace testing_support
