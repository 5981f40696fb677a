#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/files.h"
#include "platform/system_calls.h"

namespace platform {
namespace {

// Value types are kept beside the values, in a folder no value can be named.
constexpr const char* kTypeDir = ".types";

bool IsDir(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ValidName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

// The entry of `dir` whose name equals `name` ignoring case, or `name` itself.
std::string MatchEntry(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return name;
  std::string found = name;
  while (dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      if (found == name) break;
    }
  }
  ::closedir(d);
  return found;
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

bool MakeFolder(const std::string& dir) {
  const int error = systemCalls.makeFolder(dir.c_str(), 0755);
  return error == 0 || error == EEXIST;
}

// Resolves a key path to its folder; creates the folders when asked.
bool ResolveKey(const std::string& path, bool create, std::string* out) {
  std::string dir = MachineRoot() + "/registry/HKEY_LOCAL_MACHINE";
  if (create) {
    std::string partial;
    for (const std::string& part : SplitKeyPath(dir)) {
      partial += "/" + part;
      if (!MakeFolder(partial)) return false;
    }
  }
  for (const std::string& part : SplitKeyPath(path)) {
    if (!ValidName(part)) return false;
    dir += "/" + MatchEntry(dir, part);
    if (create && !MakeFolder(dir)) return false;
  }
  if (!IsDir(dir)) return false;
  *out = dir;
  return true;
}

std::vector<std::string> ListEntries(const std::string& dir, bool wantDirs) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    if ((wantDirs ? IsDir(dir + "/" + name) : IsFile(dir + "/" + name))) names.push_back(name);
  }
  ::closedir(d);
  return names;
}

bool WriteAtomically(const std::string& dir, const std::string& name, const void* data,
                     size_t size) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = dir + "/.tmp." + name + "." + std::to_string(::getpid()) + "." +
                    std::to_string(counter++);
  int error = 0;
  const int fd = static_cast<int>(
      systemCalls.openToWrite(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644, &error));
  if (fd < 0) return false;
  ByteSpan left = {static_cast<const char*>(data), size};
  bool ok = true;
  while (left.size > 0) {
    const long n = systemCalls.writeGathered(fd, &left, 1, &error);
    if (n < 0 && error == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    left.data += n;
    left.size -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), (dir + "/" + name).c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>* data) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<uint8_t> bytes;
  uint8_t buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buf, buf + n);
  }
  ::close(fd);
  *data = std::move(bytes);
  return true;
}

bool RemoveTree(const std::string& path) {
  if (!IsDir(path)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  DIR* d = ::opendir(path.c_str());
  if (d == nullptr) return false;
  bool ok = true;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    ok = RemoveTree(path + "/" + name) && ok;
  }
  ::closedir(d);
  return ::rmdir(path.c_str()) == 0 && ok;
}

}  // namespace

RegKey::~RegKey() = default;

std::unique_ptr<RegKey> RegKey::Open(const std::string& path, RegAccess access) {
  std::string dir;
  if (!ResolveKey(path, false, &dir)) return nullptr;
  if (::access(dir.c_str(), R_OK | X_OK) != 0) return nullptr;
  if ((access == RegAccess::kWrite || access == RegAccess::kAll) &&
      systemCalls.checkWritable(dir.c_str()) != 0) {
    return nullptr;
  }
  return std::unique_ptr<RegKey>(new RegKey(dir, access));
}

std::unique_ptr<RegKey> RegKey::Create(const std::string& path, RegAccess access) {
  std::string dir;
  if (!ResolveKey(path, true, &dir)) return nullptr;
  if (::access(dir.c_str(), R_OK | X_OK) != 0) return nullptr;
  if ((access == RegAccess::kWrite || access == RegAccess::kAll) &&
      systemCalls.checkWritable(dir.c_str()) != 0) {
    return nullptr;
  }
  return std::unique_ptr<RegKey>(new RegKey(dir, access));
}

bool RegKey::Delete(const std::string& path) {
  std::string dir;
  if (!ResolveKey(path, false, &dir)) return true;
  return RemoveTree(dir);
}

bool RegKey::HasValue(const std::string& name) const {
  if (!ValidName(name)) return false;
  return IsFile(dir_ + "/" + MatchEntry(dir_, name));
}

bool RegKey::QueryValue(const std::string& name, std::vector<uint8_t>* data,
                        uint32_t* type) const {
  if (!ValidName(name) || access_ == RegAccess::kWrite) return false;
  std::string actual = MatchEntry(dir_, name);
  std::vector<uint8_t> bytes;
  if (!IsFile(dir_ + "/" + actual) || !ReadWhole(dir_ + "/" + actual, &bytes)) return false;
  if (type != nullptr) {
    std::vector<uint8_t> typeBytes;
    *type = kRegBinary;
    if (ReadWhole(dir_ + "/" + kTypeDir + "/" + actual, &typeBytes) && typeBytes.size() == 4) {
      *type = static_cast<uint32_t>(typeBytes[0]) | static_cast<uint32_t>(typeBytes[1]) << 8 |
              static_cast<uint32_t>(typeBytes[2]) << 16 |
              static_cast<uint32_t>(typeBytes[3]) << 24;
    }
  }
  if (data != nullptr) *data = std::move(bytes);
  return true;
}

bool RegKey::SetValue(const std::string& name, uint32_t type, const void* data, size_t size) {
  if (!ValidName(name) || access_ == RegAccess::kQueryValue || access_ == RegAccess::kRead) {
    return false;
  }
  std::string actual = MatchEntry(dir_, name);
  std::string typeDir = dir_ + "/" + kTypeDir;
  if (MakeFolder(typeDir)) {
    const uint8_t typeBytes[4] = {static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                                  static_cast<uint8_t>(type >> 16),
                                  static_cast<uint8_t>(type >> 24)};
    WriteAtomically(typeDir, actual, typeBytes, sizeof typeBytes);
  }
  return WriteAtomically(dir_, actual, data, size);
}

bool RegKey::DeleteValue(const std::string& name) {
  if (!ValidName(name) || access_ == RegAccess::kQueryValue || access_ == RegAccess::kRead) {
    return false;
  }
  std::string actual = MatchEntry(dir_, name);
  ::unlink((dir_ + "/" + kTypeDir + "/" + actual).c_str());
  return ::unlink((dir_ + "/" + actual).c_str()) == 0;
}

std::vector<std::string> RegKey::ValueNames() const { return ListEntries(dir_, false); }

std::vector<std::string> RegKey::SubkeyNames() const { return ListEntries(dir_, true); }

}  // namespace platform
