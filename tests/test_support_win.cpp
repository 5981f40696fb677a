// Helpers shared by the tests, for the Windows build: temporary folders,
// files, child processes and the machine root variable.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/utf.h"
#include "tests/test_support.h"
#include "tests/test_support_win.h"

namespace testing_support {
namespace {

std::wstring Wide(const std::string& text) {
  return platform::Utf8ToUtf16(text.data(), text.size());
}

std::string Narrow(const std::wstring& text) {
  return platform::Utf16ToUtf8(text.data(), text.size());
}

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

std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const std::string& a : argv) {
    if (!line.empty()) line += L' ';
    line += Quote(Wide(a));
  }
  return line;
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

HANDLE Launch(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              HANDLE in, HANDLE out, HANDLE err) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::wstring line = CommandLine(argv);
  std::wstring block = EnvironmentBlock(env);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        &block[0], nullptr, &startup, &info)) {
    return nullptr;
  }
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

void ReadAll(HANDLE pipe, std::string* out) {
  char buf[65536];
  DWORD n = 0;
  while (::ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0) out->append(buf, n);
}

// A file for a child's output, emptied, its handle inheritable.
HANDLE OutputFile(const std::string& path) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ::SetHandleInformation(file, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return file;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         const std::string& input) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
  if (!::CreatePipe(&inRead, &inWrite, &inherit, 0) ||
      !::CreatePipe(&outRead, &outWrite, &inherit, 0) ||
      !::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  // The parent's ends stay out of the child.
  ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE process = Launch(argv, env, inRead, outWrite, errWrite);
  ::CloseHandle(inRead);
  ::CloseHandle(outWrite);
  ::CloseHandle(errWrite);
  ProcessResult result;
  if (process == nullptr) {
    ::CloseHandle(inWrite);
    ::CloseHandle(outRead);
    ::CloseHandle(errRead);
    result.exitCode = 127;
    return result;
  }
  std::thread writer([&] {
    size_t written = 0;
    while (written < input.size()) {
      DWORD n = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(input.size() - written, 65536));
      if (!::WriteFile(inWrite, input.data() + written, chunk, &n, nullptr) || n == 0) break;
      written += n;
    }
    ::CloseHandle(inWrite);
  });
  std::thread errors([&] { ReadAll(errRead, &result.err); });
  ReadAll(outRead, &result.out);
  writer.join();
  errors.join();
  ::CloseHandle(outRead);
  ::CloseHandle(errRead);
  ::WaitForSingleObject(process, INFINITE);
  CollectExit(process, &result.exitCode, &result.signal);
  return result;
}

void CollectExit(void* process, int* exitCode, int* signal) {
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  // A process ended by an unhandled exception exits with the exception code.
  if (code >= 0xC0000000u) {
    *signal = static_cast<int>(code);
  } else {
    *exitCode = static_cast<int>(code);
  }
}

// Background children are in a job that ends them when this process ends,
// however it ends, so that no peer outlives a crashed test.
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

void* StartProcessHandle(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         const std::string& stdoutFile, const std::string& stderrFile) {
  HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  ::SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  HANDLE out = stdoutFile.empty() ? nul : OutputFile(stdoutFile);
  HANDLE err = stderrFile.empty() ? ::GetStdHandle(STD_ERROR_HANDLE) : OutputFile(stderrFile);
  HANDLE process = nullptr;
  if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
    process = Launch(argv, env, nul, out, err);
  }
  if (process != nullptr) {
    if (HANDLE job = ChildJob()) ::AssignProcessToJobObject(job, process);
  }
  if (!stdoutFile.empty() && out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (!stderrFile.empty() && err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
  ::CloseHandle(nul);
  return process;
}

unsigned long StartProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env,
                           const std::string& stdoutFile) {
  HANDLE process = StartProcessHandle(argv, env, stdoutFile, std::string());
  if (process == nullptr) return 0;
  const DWORD pid = ::GetProcessId(process);
  ::CloseHandle(process);
  return pid;
}

bool ProcessRunning(unsigned long pid) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return false;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

void StopProcess(unsigned long pid) {
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return;
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, 10000);
  ::CloseHandle(process);
}

bool DllExportNames(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  HMODULE module = ::LoadLibraryW(Wide(path).c_str());
  if (module == nullptr) return false;
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  bool whole = true;
  if (dir.VirtualAddress != 0) {
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      names->emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    }
    whole = exports->NumberOfFunctions == exports->NumberOfNames;
  }
  ::FreeLibrary(module);
  return whole;
}

std::string TempBase() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
  std::string path = Narrow(std::wstring(base, n));
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

TempDir::TempDir() {
  const std::string base = TempBase() + "/quorvil-test-" + std::to_string(::GetCurrentProcessId());
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = base + "-" + std::to_string(::GetTickCount() + attempt);
    if (::CreateDirectoryW(Wide(candidate).c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileW(wide.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((wide + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + "/" + Narrow(name));
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(wide.c_str());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Wide(path).c_str(), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(Wide(path).c_str(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  }
  return out;
}

std::string CopyThisProgram(const std::string& dir, const std::string& name) {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
    if (n == 0) throw std::runtime_error("GetModuleFileNameW failed");
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  const std::string path = dir + "/" + name + ".exe";
  if (!::CopyFileW(self.c_str(), Wide(path).c_str(), FALSE)) {
    throw std::runtime_error("cannot copy the program to " + path);
  }
  return path;
}

void* OpenLibrary(const std::string& path) { return ::LoadLibraryW(Wide(path).c_str()); }
void* Symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}
int CloseLibrary(void* library) { return ::FreeLibrary(static_cast<HMODULE>(library)) ? 0 : 1; }
std::string LoadError() { return "error " + std::to_string(::GetLastError()); }

std::string PluginFileName() { return "Quorvil.dll"; }

void SetVariable(const std::string& name, const char* value) {
  // An empty value removes the variable.
  ::_putenv_s(name.c_str(), value != nullptr ? value : "");
}

}  // namespace testing_support
