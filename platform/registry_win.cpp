// The registry under HKEY_LOCAL_MACHINE through the Win32 registry functions.
#include "platform/registry.h"

#include <windows.h>

#include "text/utf.h"

namespace platform {
namespace {

std::wstring Wide(const std::string& text) {
  return unicode::Utf8ToUtf16(text.data(), text.size());
}

std::string Narrow(const wchar_t* text, size_t units) {
  return unicode::Utf16ToUtf8(text, units);
}

REGSAM Sam(RegAccess access) {
  switch (access) {
    case RegAccess::kQueryValue: return KEY_QUERY_VALUE;
    case RegAccess::kRead: return KEY_READ;
    case RegAccess::kWrite: return KEY_WRITE;
    case RegAccess::kAll: return KEY_ALL_ACCESS;
  }
  return KEY_READ;
}

// An open key for one operation; the RegKey keeps only the path, so that no
// handle outlives what it was opened for.
class Key {
 public:
  Key(const std::string& path, REGSAM sam) {
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, sam, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~Key() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

RegKey::~RegKey() = default;

std::unique_ptr<RegKey> RegKey::Open(const std::string& path, RegAccess access) {
  Key key(path, Sam(access));
  if (key.get() == nullptr) return nullptr;
  return std::unique_ptr<RegKey>(new RegKey(path, access));
}

std::unique_ptr<RegKey> RegKey::Create(const std::string& path, RegAccess access) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        Sam(access), nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  ::RegCloseKey(key);
  return std::unique_ptr<RegKey>(new RegKey(path, access));
}

bool RegKey::Delete(const std::string& path) {
  const std::wstring wide = Wide(path);
  LONG rc = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, wide.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  rc = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, wide.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool RegKey::HasValue(const std::string& name) const {
  Key key(dir_, KEY_QUERY_VALUE);
  return key.get() != nullptr &&
         ::RegQueryValueExW(key.get(), Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
             ERROR_SUCCESS;
}

bool RegKey::QueryValue(const std::string& name, std::vector<uint8_t>* data, uint32_t* type) const {
  if (access_ == RegAccess::kWrite) return false;
  Key key(dir_, KEY_QUERY_VALUE);
  if (key.get() == nullptr) return false;
  const std::wstring wname = Wide(name);
  for (;;) {
    DWORD size = 0, kind = REG_NONE;
    if (::RegQueryValueExW(key.get(), wname.c_str(), nullptr, &kind, nullptr, &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    std::vector<uint8_t> bytes(size);
    const LONG rc = ::RegQueryValueExW(key.get(), wname.c_str(), nullptr, &kind,
                                       bytes.empty() ? nullptr : bytes.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;  // grew between the two reads
    if (rc != ERROR_SUCCESS) return false;
    bytes.resize(size);
    if (type != nullptr) *type = kind;
    if (data != nullptr) *data = std::move(bytes);
    return true;
  }
}

bool RegKey::SetValue(const std::string& name, uint32_t type, const void* data, size_t size) {
  if (access_ == RegAccess::kQueryValue || access_ == RegAccess::kRead || size > MAXDWORD) {
    return false;
  }
  Key key(dir_, KEY_SET_VALUE);
  return key.get() != nullptr &&
         ::RegSetValueExW(key.get(), Wide(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool RegKey::DeleteValue(const std::string& name) {
  if (access_ == RegAccess::kQueryValue || access_ == RegAccess::kRead) return false;
  Key key(dir_, KEY_SET_VALUE);
  return key.get() != nullptr && ::RegDeleteValueW(key.get(), Wide(name).c_str()) == ERROR_SUCCESS;
}

namespace {

// Names of a key's values or subkeys, by index until the enumeration ends;
// `units` is the longest name the registry allows, and its NUL.
template <typename Enumerate>
std::vector<std::string> EnumerateNames(const std::string& dir, REGSAM sam, DWORD units,
                                        Enumerate enumerate) {
  std::vector<std::string> names;
  Key key(dir, sam);
  if (key.get() == nullptr) return names;
  std::vector<wchar_t> name(units);
  for (DWORD i = 0;; ++i) {
    DWORD length = units;
    if (enumerate(key.get(), i, name.data(), &length) != ERROR_SUCCESS) break;
    names.push_back(Narrow(name.data(), length));
  }
  return names;
}

}  // namespace

std::vector<std::string> RegKey::ValueNames() const {
  return EnumerateNames(dir_, KEY_QUERY_VALUE, 16384, [](HKEY k, DWORD i, wchar_t* n, DWORD* u) {
    return ::RegEnumValueW(k, i, n, u, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::string> RegKey::SubkeyNames() const {
  return EnumerateNames(dir_, KEY_ENUMERATE_SUB_KEYS, 256, [](HKEY k, DWORD i, wchar_t* n, DWORD* u) {
    return ::RegEnumKeyExW(k, i, n, u, nullptr, nullptr, nullptr, nullptr);
  });
}

}  // namespace platform
