// The registry, under HKEY_LOCAL_MACHINE only: keys, and values of raw bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class RegAccess { kQueryValue, kRead, kWrite, kAll };

// Value types as the Windows registry numbers them.
enum RegType : uint32_t { kRegNone = 0, kRegSz = 1, kRegBinary = 3, kRegDword = 4 };

// An open key. Key paths use backslashes ("Software\Korvane\LogModule");
// names match without regard to letter case.
class RegKey {
 public:
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Null when the key does not exist or cannot be opened.
  static std::unique_ptr<RegKey> Open(const std::string& path, RegAccess access);
  // Creates missing keys; null when that is not possible.
  static std::unique_ptr<RegKey> Create(const std::string& path, RegAccess access);
  // Removes a key and everything below it; true when it no longer exists.
  static bool Delete(const std::string& path);

  bool HasValue(const std::string& name) const;
  // False when the value does not exist or cannot be read.
  bool QueryValue(const std::string& name, std::vector<uint8_t>* data,
                  uint32_t* type = nullptr) const;
  bool SetValue(const std::string& name, uint32_t type, const void* data, size_t size);
  bool DeleteValue(const std::string& name);
  std::vector<std::string> ValueNames() const;
  std::vector<std::string> SubkeyNames() const;

 private:
  RegKey(std::string dir, RegAccess access) : dir_(std::move(dir)), access_(access) {}
  std::string dir_;
  RegAccess access_;
};

}  // namespace platform
