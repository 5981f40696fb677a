// Helpers shared by the tests, for the Windows build: temporary folders,
// files, export tables and the machine root variable.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/test_support.h"
#include "text/utf.h"

namespace testing_support {
namespace {

std::wstring Wide(const std::string& text) {
  return unicode::Utf8ToUtf16(text.data(), text.size());
}

std::string Narrow(const std::wstring& text) {
  return unicode::Utf16ToUtf8(text.data(), text.size());
}

}  // namespace

bool ExportedNames(const std::string& path, std::vector<std::string>* names) {
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

void MakeExecutable(const std::string&) {}

std::string RealPath(const std::string& path) { return path; }

bool MachineStateIsShared() { return true; }

std::string SystemLibraryPath() { return "C:\\windows\\system32\\msvcrt.dll"; }

std::string NativePath(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '/') c = '\\';
  }
  return native;
}

void SetVariable(const std::string& name, const char* value) {
  // An empty value removes the variable.
  ::_putenv_s(name.c_str(), value != nullptr ? value : "");
}

}  // namespace testing_support
