// Helpers shared by the tests, for the Windows build: temporary folders, files
// and the machine root variable. Child processes are not offered here.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/utf.h"
#include "tests/test_support.h"

namespace testing_support {
namespace {

std::wstring Wide(const std::string& text) {
  const WideString w = platform::Utf8ToUtf16(text.data(), text.size());
  return std::wstring(reinterpret_cast<const wchar_t*>(w.data()), w.size());
}

std::string Narrow(const std::wstring& text) {
  return platform::Utf16ToUtf8(reinterpret_cast<const WideChar*>(text.data()), text.size());
}

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::wstring candidate = std::wstring(base) + L"quorvil-test-" +
                                   std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(::GetTickCount() + attempt);
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = Narrow(candidate);
      for (char& c : path_) {
        if (c == '\\') c = '/';
      }
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

std::string BuildDir() {
  const char* dir = std::getenv("QUORVIL_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

std::string SourceDir() {
  const char* dir = std::getenv("QUORVIL_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string PluginPath() { return BuildDir() + "/plugin/Quorvil.dll"; }

ScopedRoot::ScopedRoot(const std::string& root) {
  const char* prev = std::getenv("QUORVIL_ROOT");
  hadPrevious_ = prev != nullptr;
  if (hadPrevious_) previous_ = prev;
  ::_putenv_s("QUORVIL_ROOT", root.c_str());
}

ScopedRoot::~ScopedRoot() {
  // An empty value removes the variable.
  ::_putenv_s("QUORVIL_ROOT", hadPrevious_ ? previous_.c_str() : "");
}

}  // namespace testing_support
