// ondra's library support: class records, factory map, registry records.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "ondra/ondra.h"
#include "platform/module_path.h"
#include "platform/registry.h"
#include "text/utf.h"

const WideChar KVR_FunctionNameOnInitialize[] = WIDE("OnInitialize");

namespace ondra {

// The host's own member code of the narrow string, for the records it copies.
template <class T>
BaseString<T>::~BaseString() {
  AllocBase::_free(buffer_);
  buffer_ = nullptr;
  exponent_ = 0;
  length_ = -1;
}
template BaseString<char>::~BaseString();

struct HostStringAccess {
  // Replaces the text with a copy of `length` characters of `text`; null
  // text makes the null string.
  static void Set(BaseString<char>& s, const char* text, std::size_t length) {
    if (text == nullptr) {
      AllocBase::_free(s.buffer_);
      s.buffer_ = nullptr;
      s.exponent_ = 0;
      s.length_ = -1;
      return;
    }
    if (length > static_cast<std::size_t>(INT32_MAX) - 1) throw MemoryException(length + 1, 1);
    unsigned e = 4;
    while ((std::size_t{1} << e) < length + 1) ++e;
    auto* buffer = static_cast<char*>(AllocBase::_alloc(std::size_t{1} << e));
    if (buffer == nullptr) throw MemoryException(std::size_t{1} << e, 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    AllocBase::_free(s.buffer_);
    s.buffer_ = buffer;
    s.exponent_ = e;
    s.length_ = static_cast<int>(length);
  }

  static void Copy(BaseString<char>& to, const BaseString<char>& from) {
    if (&to == &from) return;
    Set(to, from.c_str(), from.isNull() ? 0 : static_cast<std::size_t>(from.length()));
  }
};

}  // namespace ondra

using ondra::Exception;
using ondra::HostStringAccess;

CZetClassInfo::CZetClassInfo() : flags(0) {}

CZetClassInfo::CZetClassInfo(const CZetClassInfo& other) : flags(other.flags) {
  HostStringAccess::Copy(progId, other.progId);
  HostStringAccess::Copy(classDescription, other.classDescription);
}

CZetClassInfo& CZetClassInfo::operator=(const CZetClassInfo& other) {
  HostStringAccess::Copy(progId, other.progId);
  HostStringAccess::Copy(classDescription, other.classDescription);
  flags = other.flags;
  return *this;
}

CZetClassInfo::~CZetClassInfo() = default;

namespace {

constexpr const char* kClassesKey = "Software\\Drovemark\\Classes";

struct FactoryEntry {
  std::string description;
  std::int32_t flags;
};

struct FactoryMap {
  std::mutex lock;
  std::map<std::string, FactoryEntry> classes;
};

// Freed by the library's finaliser: a component library clears the map from
// its own finaliser, which at exit runs after every C++ global is gone.
FactoryMap* factory = nullptr;

FactoryMap& Factory() {
  static std::once_flag once;
  std::call_once(once, [] { factory = new FactoryMap; });
  return *factory;
}

__attribute__((destructor)) void FreeFactoryMap() {
  delete factory;
  factory = nullptr;
}

std::string Text(const ondra::BaseString<char>& s) { return s.isNull() ? std::string() : s.c_str(); }

// A ProgID names one registry key, so it may not hold a key separator.
void CheckProgId(const std::string& progId) {
  if (progId.empty() || progId[0] == '.' || progId.find_first_of("\\/") != std::string::npos) {
    throw Exception(WIDE("\"%hs\" is not a valid ProgID"), progId.c_str());
  }
}

std::string ReadText(const platform::RegKey& key, const char* name) {
  std::vector<uint8_t> data;
  if (!key.QueryValue(name, &data)) return std::string();
  std::string text(data.begin(), data.end());
  // A Windows registry may hand a string back with terminators of its own.
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

}  // namespace

void CZetLibraryUtils::SetLibraryIdentifier(ZetModuleHandle module, ondra::BaseString<char>& identifier) {
  const WideString path = platform::ModulePathOf(module);
  if (path.empty()) throw Exception(WIDE("No library contains the address %p"), module);
  const std::string narrow = unicode::Utf16ToUtf8(path.data(), path.size());
  HostStringAccess::Set(identifier, narrow.data(), narrow.size());
}

void CZetLibraryUtils::InitFactoryComponentMap() { Factory(); }

void CZetLibraryUtils::PopulateFactoryComponentMap(const CZetClassInfo& info) {
  const std::string progId = Text(info.progId);
  if (progId.empty()) throw Exception(WIDE("A class without a ProgID cannot be offered"));
  FactoryMap& f = Factory();
  std::lock_guard<std::mutex> hold(f.lock);
  f.classes[progId] = FactoryEntry{Text(info.classDescription), info.flags};
}

void CZetLibraryUtils::ClearFactoryComponentMap() {
  FactoryMap& f = Factory();
  std::lock_guard<std::mutex> hold(f.lock);
  f.classes.clear();
}

bool CZetLibraryUtils::IsClassAvailable(const char* progId) {
  if (progId == nullptr) return false;
  FactoryMap& f = Factory();
  std::lock_guard<std::mutex> hold(f.lock);
  return f.classes.count(progId) != 0;
}

void CZetLibraryUtils::RegisterLibraryClasses(const ondra::Array<CZetClassInfo>& classes, const char* library) {
  for (std::size_t i = 0; i < classes.count(); ++i) {
    const CZetClassInfo& info = classes[i];
    const std::string progId = Text(info.progId);
    CheckProgId(progId);
    auto key = platform::RegKey::Create(std::string(kClassesKey) + "\\" + progId, platform::RegAccess::kAll);
    if (!key) throw Exception(WIDE("Cannot register %hs: its registry key cannot be created"), progId.c_str());
    const std::string description = Text(info.classDescription);
    const std::string path = library != nullptr ? library : "";
    const uint32_t flags = static_cast<uint32_t>(info.flags);
    const uint8_t flagBytes[4] = {static_cast<uint8_t>(flags), static_cast<uint8_t>(flags >> 8),
                                  static_cast<uint8_t>(flags >> 16), static_cast<uint8_t>(flags >> 24)};
    if (!key->SetValue("Description", platform::kRegSz, description.data(), description.size()) ||
        !key->SetValue("Flags", platform::kRegDword, flagBytes, sizeof flagBytes) ||
        !key->SetValue("Library", platform::kRegSz, path.data(), path.size())) {
      throw Exception(WIDE("Cannot register %hs: the registry refused its values"), progId.c_str());
    }
  }
}

void CZetLibraryUtils::UnregisterLibraryClasses(const ondra::Array<CZetClassInfo>& classes, const char*) {
  for (std::size_t i = 0; i < classes.count(); ++i) {
    const std::string progId = Text(classes[i].progId);
    CheckProgId(progId);
    if (!platform::RegKey::Delete(std::string(kClassesKey) + "\\" + progId)) {
      throw Exception(WIDE("Cannot unregister %hs: its registry key cannot be removed"), progId.c_str());
    }
  }
}

std::vector<ZetRegisteredClass> CZetLibraryUtils::ListRegisteredClasses() {
  std::vector<ZetRegisteredClass> list;
  auto root = platform::RegKey::Open(kClassesKey, platform::RegAccess::kRead);
  if (!root) return list;
  std::vector<std::string> progIds = root->SubkeyNames();
  std::sort(progIds.begin(), progIds.end());
  for (const std::string& progId : progIds) {
    auto key = platform::RegKey::Open(std::string(kClassesKey) + "\\" + progId, platform::RegAccess::kRead);
    if (!key) continue;
    std::vector<uint8_t> flagBytes;
    uint32_t flags = 0;
    if (key->QueryValue("Flags", &flagBytes) && flagBytes.size() == 4) {
      flags = flagBytes[0] | (flagBytes[1] << 8) | (flagBytes[2] << 16) | (uint32_t{flagBytes[3]} << 24);
    }
    list.push_back(ZetRegisteredClass{progId, ReadText(*key, "Description"), flags, ReadText(*key, "Library")});
  }
  return list;
}

ondra::DynamicObject* CZetLibraryUtils::CreateClassInstance(const char* progId) {
  if (progId == nullptr) throw Exception(WIDE("No ProgID was given"));
  if (!IsClassAvailable(progId)) throw Exception(WIDE("No class is available under the ProgID %hs"), progId);
  ondra::Class* cls = ondra::Class::findClass(progId);
  if (cls == nullptr) throw Exception(WIDE("The class %hs has no class object"), progId);
  return cls->createInstance();
}
