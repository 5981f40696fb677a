// Helpers shared by the tests, for the Windows build: paths, export tables
// and the machine root variable.
#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "text/utf.h"
#include "tests/common/test_support.h"

namespace testing_support {
namespace {

std::wstring Wide(const std::string& text) {
  return unicode::Utf8ToUtf16(text.data(), text.size());
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

std::string ToSystemSeparators(const std::string& path) {
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
