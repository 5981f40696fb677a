// Child processes through CreateProcessW, in a job that ends them with us.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cwchar>

#include "platform/standin/child_process.h"
#include "text/utf.h"

namespace platform {
namespace {

constexpr DWORD kPipeChunk = 65536;
// A process ended by an unhandled exception exits with the exception code.
constexpr DWORD kFirstExceptionCode = 0xC0000000u;

std::wstring Wide(const std::string& text) { return unicode::Utf8ToUtf16(text.data(), text.size()); }

// One argument as the C runtime's command-line parser reads it back.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, L'\\');
  return out + L"\"";
}

// The current environment with `env` laid over it, as CreateProcessW takes it.
std::wstring EnvironmentBlock(const std::map<std::string, std::string>& env) {
  std::map<std::wstring, std::wstring> vars;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += std::wcslen(p) + 1) {
      const std::wstring entry = p;
      const size_t eq = entry.find(L'=', 1);
      if (eq != std::wstring::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& kv : env) vars[Wide(kv.first)] = Wide(kv.second);
  std::wstring out;
  for (const auto& kv : vars) out += kv.first + L"=" + kv.second + L'\0';
  return out + L'\0';
}

// Children are in a job that ends them when this process ends, however it
// ends, so that no peer outlives a crashed test.
HANDLE ChildJob() {
  static HANDLE job = [] {
    HANDLE j = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (j != nullptr) {
      ::SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return j;
  }();
  return job;
}

void CloseIfOpen(HANDLE* handle) {
  if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) ::CloseHandle(*handle);
  *handle = nullptr;
}

HANDLE Inheritable(HANDLE handle) {
  if (handle != INVALID_HANDLE_VALUE) {
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return handle;
}

// The child's end of one stream (to be closed here once it started) and for
// a pipe this side's end; an inherited stream is this process's own handle.
bool Open(const ChildStream& stream, DWORD standard, bool input, HANDLE* childEnd, bool* owned,
          HANDLE* ourEnd) {
  *owned = true;
  switch (stream.kind) {
    case ChildStream::Kind::kInherit:
      *childEnd = ::GetStdHandle(standard);
      *owned = false;
      return true;
    case ChildStream::Kind::kNull:
      *childEnd = Inheritable(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
      return *childEnd != INVALID_HANDLE_VALUE;
    case ChildStream::Kind::kFile:
      *childEnd = Inheritable(::CreateFileW(
          Wide(stream.path).c_str(), GENERIC_WRITE,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
          FILE_ATTRIBUTE_NORMAL, nullptr));
      return *childEnd != INVALID_HANDLE_VALUE;
    case ChildStream::Kind::kPipe: {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      HANDLE read = nullptr, write = nullptr;
      if (!::CreatePipe(&read, &write, &inherit, 0)) return false;
      *childEnd = input ? read : write;
      *ourEnd = input ? write : read;
      // This side's end stays out of every child.
      ::SetHandleInformation(*ourEnd, HANDLE_FLAG_INHERIT, 0);
      return true;
    }
  }
  return false;
}

long ReadPipe(HANDLE pipe, char* buffer, size_t size) {
  DWORD n = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kPipeChunk));
  if (::ReadFile(pipe, buffer, chunk, &n, nullptr)) return static_cast<long>(n);
  return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

size_t PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace

struct ChildProcess::State {
  HANDLE process = nullptr;
  DWORD pid = 0;
  HANDLE in = nullptr, out = nullptr, err = nullptr;
  bool ended = false;
  size_t peak = 0;
  ChildExit exit;
};

ChildProcess::ChildProcess() : state_(new State) {}

ChildProcess::~ChildProcess() {
  if (state_->process != nullptr && !state_->ended) {
    Kill();
    ChildExit ignored;
    Wait(-1, &ignored);
  }
  CloseIfOpen(&state_->process);
  CloseIfOpen(&state_->in);
  CloseIfOpen(&state_->out);
  CloseIfOpen(&state_->err);
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env, const ChildStream& in,
                         const ChildStream& out, const ChildStream& err, std::string* error) {
  HANDLE child[3] = {nullptr, nullptr, nullptr};
  bool owned[3] = {false, false, false};
  const bool opened =
      Open(in, STD_INPUT_HANDLE, true, &child[0], &owned[0], &state_->in) &&
      Open(out, STD_OUTPUT_HANDLE, false, &child[1], &owned[1], &state_->out) &&
      Open(err, STD_ERROR_HANDLE, false, &child[2], &owned[2], &state_->err);
  PROCESS_INFORMATION info{};
  bool started = false;
  if (opened && !argv.empty()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child[0];
    startup.hStdOutput = child[1];
    startup.hStdError = child[2];
    std::wstring line;
    for (const std::string& a : argv) line += (line.empty() ? L"" : L" ") + Quote(Wide(a));
    std::wstring block = EnvironmentBlock(env);
    started = ::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE,
                               CREATE_UNICODE_ENVIRONMENT, &block[0], nullptr,
                               &startup, &info) != 0;
  }
  const DWORD why = ::GetLastError();
  for (int i = 0; i < 3; ++i) {
    if (owned[i]) CloseIfOpen(&child[i]);
  }
  if (!started) {
    *error = argv.empty() ? std::string("no program to start")
             : !opened    ? "cannot open the child's streams: error " + std::to_string(why)
                          : "CreateProcessW failed: error " + std::to_string(why);
    CloseIfOpen(&state_->in);
    CloseIfOpen(&state_->out);
    CloseIfOpen(&state_->err);
    return false;
  }
  ::CloseHandle(info.hThread);
  if (HANDLE job = ChildJob()) ::AssignProcessToJobObject(job, info.hProcess);
  state_->process = info.hProcess;
  state_->pid = info.dwProcessId;
  return true;
}

long ChildProcess::id() const { return static_cast<long>(state_->pid); }

bool ChildProcess::WriteInput(const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, kPipeChunk));
    if (!::WriteFile(state_->in, bytes.data() + written, chunk, &n, nullptr) || n == 0) break;
    written += n;
  }
  CloseInput();
  return written == bytes.size();
}

void ChildProcess::CloseInput() { CloseIfOpen(&state_->in); }

void ChildProcess::CloseOutput() { CloseIfOpen(&state_->out); }

void ChildProcess::CloseError() { CloseIfOpen(&state_->err); }

long ChildProcess::ReadOutput(char* buffer, size_t size) { return ReadPipe(state_->out, buffer, size); }

long ChildProcess::ReadError(char* buffer, size_t size) { return ReadPipe(state_->err, buffer, size); }

bool ChildProcess::Running() {
  ChildExit exit;
  return state_->process != nullptr && !Wait(0, &exit);
}

bool ChildProcess::RequestStop(StopRequest) { return false; }

bool ChildProcess::CanRequestStop() { return false; }

void ChildProcess::Kill() {
  if (state_->process != nullptr && !state_->ended) ::TerminateProcess(state_->process, 1);
}

bool ChildProcess::Wait(int timeoutMs, ChildExit* exit) {
  if (state_->process == nullptr) return false;
  // Wine answers zeros for a child that has exited, so the peak is read while
  // it runs, and once more at the end for a system that keeps it. It only
  // grows: the largest read is the peak, short of a rise in the last few
  // milliseconds before the end.
  constexpr DWORD kSampleMs = 5;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!state_->ended) {
    state_->peak = std::max(state_->peak, PeakWorkingSet(state_->process));
    if (::WaitForSingleObject(state_->process, timeoutMs == 0 ? 0 : kSampleMs) == WAIT_OBJECT_0) {
      state_->peak = std::max(state_->peak, PeakWorkingSet(state_->process));
      DWORD code = 0;
      ::GetExitCodeProcess(state_->process, &code);
      state_->ended = true;
      state_->exit.peakKilobytes = static_cast<long>(state_->peak / 1024);
      if (code >= kFirstExceptionCode) {
        state_->exit.signal = static_cast<int>(code);
      } else {
        state_->exit.code = static_cast<int>(code);
      }
      break;
    }
    if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
  }
  *exit = state_->exit;
  return true;
}

}  // namespace platform
