// Parts of the file system on read-only media, through the platform layer's
// system-call table: under each of the prefixes, making a folder that is not there,
// opening a file to write and asking for the right to write fail as on a
// read-only mount; reads and everything elsewhere go on as before.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system_calls.h"

namespace testing_support {

class ReadOnlyMedium {
 public:
  explicit ReadOnlyMedium(const std::vector<std::string>& prefixes) {
    for (const std::string& prefix : prefixes) Prefixes().push_back(Slashed(prefix));
    System() = &override_.system();
    platform::systemCalls.makeFolder = [](const char* path, unsigned mode) {
      if (!Under(path) || std::filesystem::exists(std::filesystem::u8path(path))) {
        return System()->makeFolder(path, mode);
      }
      return platform::ReadOnlyMediumError();
    };
    platform::systemCalls.openToWrite = [](const char* path, int flags, unsigned mode, int* error) {
      if (!Under(path)) return System()->openToWrite(path, flags, mode, error);
      *error = platform::ReadOnlyMediumError();
      return platform::kNoNativeFile;
    };
    platform::systemCalls.checkWritable = [](const char* path) {
      return Under(path) ? platform::ReadOnlyMediumError() : System()->checkWritable(path);
    };
  }
  // The override puts the system's entries back.
  ~ReadOnlyMedium() { Prefixes().clear(); }
  ReadOnlyMedium(const ReadOnlyMedium&) = delete;
  ReadOnlyMedium& operator=(const ReadOnlyMedium&) = delete;

 private:
  static std::string Slashed(std::string path) {
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
  }
  static std::vector<std::string>& Prefixes() {
    static std::vector<std::string> prefixes;
    return prefixes;
  }
  static bool Under(const char* path) {
    const std::string p = Slashed(path);
    for (const std::string& prefix : Prefixes()) {
      if (p.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
  }
  // The entries before this medium, which calls elsewhere go through; the
  // stand-ins are plain functions, so they reach them through a static.
  static const platform::SystemCalls*& System() {
    static const platform::SystemCalls* calls = nullptr;
    return calls;
  }

  platform::SystemCallsOverride override_;
};

}  // namespace testing_support
