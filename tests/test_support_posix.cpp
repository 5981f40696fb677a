// Test helpers over POSIX files, folders and environment.
#include "tests/test_support.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  std::string tmpl = TempBase() + "/quorvil-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    ::chmod(path.c_str(), 0755);
    if (DIR* d = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") RemoveTree(path + "/" + name);
      }
      ::closedir(d);
    }
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string ProgramText(const std::string& text) { return text; }

void MakeExecutable(const std::string& path) { ::chmod(path.c_str(), 0755); }

std::string TempBase() {
  const char* base = std::getenv("TMPDIR");
  return base != nullptr && *base ? base : "/tmp";
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

std::string NativePath(const std::string& path) { return path; }

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
