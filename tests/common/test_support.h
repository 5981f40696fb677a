// Helpers shared by the tests: temporary folders, files, child processes.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/standin/child_process.h"

namespace testing_support {

// A fresh folder in the system's temporary folder, '/'-separated, removed
// with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Ends the test program with a failure when the scope is not left within
// `seconds`: for tests whose regression would hang (a lock that is never
// freed) rather than fail.
class Deadline {
 public:
  Deadline(const char* what, int seconds);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable left_;
  bool done_ = false;
  std::thread watcher_;
};

// The messages of runtime.log lines, in order. Each line must start with
// "[hh:mm:ss][channel]INFO:" (or be empty) and end with "\r\n"; the first that
// does not is put into `bad` and ends the reading.
std::vector<std::string> LogMessages(const std::string& text, std::string* bad);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& path);

// `request`, an HTTP request a test has edited, with its Content-Length set
// to its body's new size.
std::string MendContentLength(std::string request);

struct ProcessResult {
  int exitCode = -1;   // -1 when killed by a signal
  int signal = 0;      // the signal that ended it, if any
  std::string out;
  std::string err;
};

// A program's text output with its line ends as LF: on Windows the C runtime
// writes text-mode output with CR LF.
std::string ProgramText(const std::string& text);

// Runs a program with extra environment variables and optional input.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& input = std::string());

// Asks a child to stop (as by SIGTERM) and waits `graceMs` at most; ends it
// where the system cannot ask, or when it outlives the grace.
platform::ChildExit StopChild(platform::ChildProcess* child, int graceMs);

// Copies the running program into `dir` as ProgramFileName(`name`), ready
// to run; answers the copy's path.
std::string CopyThisProgram(const std::string& dir, const std::string& name);
// A program's or a shared library's file name on this system ("x.exe").
std::string ProgramFileName(const std::string& name);
std::string LibrarySuffix();
// The names a shared library exports; false when they cannot be read, or
// when it exports anything by ordinal only.
bool ExportedNames(const std::string& library, std::vector<std::string>* names);
// The path with its links resolved, as the system names a loaded module.
std::string RealPath(const std::string& path);
// A '/'-separated path with the system's own separators ('\\' on Windows),
// as a program takes it on its command line. The other way from
// platform::NativePath, which maps a Windows path onto this system.
std::string ToSystemSeparators(const std::string& path);
// Whether the log file and the registry are the machine's own (Windows),
// shared by every test, rather than under each test's machine root.
bool MachineStateIsShared();
// A library of the system's C runtime, which any host may load.
std::string SystemLibraryPath();

// The build tree, from QUORVIL_BUILD_DIR (set by CTest).
std::string BuildDir();
std::string SourceDir();
// The built plug-in: build/plugin/libQuorvil.so, or Quorvil.dll on Windows.
std::string PluginPath();
// The plug-in's file name on this system.
std::string PluginFileName();
// The agent host stand-in, quorvil-agent.
std::string AgentPath();
// The plug-in's log as a child process with QUORVIL_ROOT set to `root` finds
// it; on Windows the machine's own C:\runtime.log, shared by every test.
std::string PluginLogPath(const std::string& root);
// Makes a copied program runnable.
void MakeExecutable(const std::string& path);
// Sets an environment variable, or removes it for a null value.
void SetVariable(const std::string& name, const char* value);

// The identity a status report of this machine names, made `described` where
// a machine root may describe its adapters (the POSIX stand-in); on Windows
// the identity comes from the real adapters alone.
std::string TerminalIdentity(const std::string& root, const std::string& described);

// Sets QUORVIL_ROOT for this process for the guard's lifetime.
class ScopedRoot {
 public:
  explicit ScopedRoot(const std::string& root);
  ~ScopedRoot();

 private:
  std::string previous_;
  bool hadPrevious_;
};

}  // namespace testing_support
