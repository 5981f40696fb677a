// Test helpers over POSIX paths, export tables and environment.
#include "tests/common/test_support.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace testing_support {

std::string ProgramText(const std::string& text) { return text; }

void MakeExecutable(const std::string& path) { ::chmod(path.c_str(), 0755); }

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

std::string ToSystemSeparators(const std::string& path) { return path; }

bool MachineStateIsShared() { return false; }

std::string SystemLibraryPath() { return "/lib/x86_64-linux-gnu/libm.so.6"; }

bool ExportedNames(const std::string& library, std::vector<std::string>* names) {
  names->clear();
  const ProcessResult nm = RunProcess({"/usr/bin/nm", "-D", "--defined-only", library});
  if (nm.exitCode != 0) return false;
  std::istringstream lines(nm.out);
  for (std::string line; std::getline(lines, line);) {
    // "address type name"; undefined and versioned-only lines have fewer fields.
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names->push_back(name);
  }
  return true;
}

void SetVariable(const std::string& name, const char* value) {
  if (value != nullptr) {
    ::setenv(name.c_str(), value, 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace testing_support
