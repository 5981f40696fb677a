// Test helpers that need nothing of the system beyond the platform layer.
#include "tests/common/test_support.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/standin/child_process.h"
#include "platform/files.h"
#include "platform/module_path.h"
#include "platform/standin/child_process.h"
#include "text/utf.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// Paths here are UTF-8 and '/'-separated on every system.
fs::path FsPath(const std::string& path) { return fs::u8path(path); }

// A test may leave folders without write or search permission, and (on
// Windows) read-only files, none of which would let the tree go.
void MakeRemovable(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec) return;
  if (fs::is_directory(status)) {
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
      MakeRemovable(it->path());
    }
  } else if (fs::is_regular_file(status)) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  }
}

}  // namespace

TempDir::TempDir() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) throw std::runtime_error("no temporary folder: " + ec.message());
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("quorvil-test-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.generic_u8string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder in " + base.generic_u8string());
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  MakeRemovable(FsPath(path));
  std::error_code ec;
  fs::remove_all(FsPath(path), ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(FsPath(path), ec);
}

std::string BuildDir() {
  const char* dir = std::getenv("QUORVIL_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

std::string SourceDir() {
  const char* dir = std::getenv("QUORVIL_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string PluginPath() { return BuildDir() + "/plugin/" + PluginFileName(); }

std::string AgentPath() { return BuildDir() + "/hosts/agent/quorvil-agent"; }

std::string PluginLogPath(const std::string& root) {
  ScopedRoot childRoot(root);
  return platform::NativePath("C:\\runtime.log");
}

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

platform::ChildExit StopChild(platform::ChildProcess* child, int graceMs) {
  platform::ChildExit exit;
  if (!child->RequestStop(platform::StopRequest::kTerminate) || !child->Wait(graceMs, &exit)) {
    child->Kill();
    child->Wait(-1, &exit);
  }
  return exit;
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

std::string MendContentLength(std::string request) {
  const size_t bodyAt = request.find("\r\n\r\n") + 4;
  const size_t lengthAt = request.find("Content-Length: ") + 16;
  const size_t lengthEnd = request.find("\r\n", lengthAt);
  request.replace(lengthAt, lengthEnd - lengthAt, std::to_string(request.size() - bodyAt));
  return request;
}

ScopedRoot::ScopedRoot(const std::string& root) {
  const char* prev = std::getenv("QUORVIL_ROOT");
  hadPrevious_ = prev != nullptr;
  if (hadPrevious_) previous_ = prev;
  SetVariable("QUORVIL_ROOT", root.c_str());
}

ScopedRoot::~ScopedRoot() { SetVariable("QUORVIL_ROOT", hadPrevious_ ? previous_.c_str() : nullptr); }

}  // namespace testing_support
