// ondra's object model: class tags, objects, components and class objects.
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "ondra/ondra.h"

namespace ondra {
namespace {

struct ClassTable {
  std::mutex lock;
  std::map<std::string, Class*> classes;
};

// Freed by the library's finaliser, which runs after every C++ global of the
// process is gone, so class objects destroyed at exit still find it.
ClassTable* table = nullptr;

ClassTable& Classes() {
  static std::once_flag once;
  std::call_once(once, [] { table = new ClassTable; });
  return *table;
}

__attribute__((destructor)) void FreeClassTable() {
  delete table;
  table = nullptr;
}

// The host's own tags name literals, so they stay valid through exit.
struct StaticTag : ClassTag {
  constexpr explicit StaticTag(const char* name) : ClassTag(name) {}
};
constexpr StaticTag objectTag("ondra::Object");
constexpr StaticTag countedObjectTag("ondra::CountedObject");
constexpr StaticTag componentObjectTag("ondra::ComponentObject");

void WriteAll(iByteOutputStream& out, const void* data, std::size_t bytes) { out.write(data, bytes); }

void ReadAll(iByteInputStream& in, void* data, std::size_t bytes) {
  if (in.read(data, bytes) != bytes) throw Exception(WIDE("The stream ended before the object did"));
}

}  // namespace

bool ClassTag::operator==(const ClassTag& other) const {
  return name_ == other.name_ || std::strcmp(name_, other.name_) == 0;
}

ClassTagDecl::ClassTagDecl(const char* name) : ClassTag(""), text_(name != nullptr ? name : "") {
  name_ = text_.c_str();
}
ClassTagDecl::~ClassTagDecl() = default;

bool Object::isA(const ClassTag& tag) const { return const_cast<Object*>(this)->findAs(tag) != nullptr; }

void* Object::findAs(const ClassTag& tag) { return _SeekClassIdentity(tag); }

void* Object::getAs(const ClassTag& tag) {
  void* part = findAs(tag);
  if (part == nullptr) throw Exception(WIDE("%hs is not a %hs"), getClassTag().c_str(), tag.c_str());
  return part;
}

std::size_t Object::hash() const { return std::hash<const void*>()(this); }

// The class name, as a 32-bit little-endian length and its bytes.
void Object::serialize(iByteOutputStream& out) const {
  const char* name = getClassTag().c_str();
  const auto length = static_cast<std::uint32_t>(std::strlen(name));
  const unsigned char size[4] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                                 static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
  WriteAll(out, size, sizeof size);
  WriteAll(out, name, length);
}

void Object::deserialize(iByteInputStream& in) {
  unsigned char size[4];
  ReadAll(in, size, sizeof size);
  const std::uint32_t length = size[0] | (size[1] << 8) | (size[2] << 16) | (std::uint32_t{size[3]} << 24);
  // No class name is anywhere near this long; a larger one is not a name.
  if (length > 4096) throw Exception(WIDE("The stream holds no class name"));
  std::string name(length, '\0');
  ReadAll(in, &name[0], length);
  if (name != getClassTag().c_str()) {
    throw Exception(WIDE("The stream holds %hs, not %hs"), name.c_str(), getClassTag().c_str());
  }
}

Object::~Object() = default;

void* Object::_SeekClassIdentity(const ClassTag& tag) { return tag == objectTag ? this : nullptr; }
void Object::registerLeak() {}
void Object::unregisterLeak() {}
const ClassTag& Object::staticClassTag() { return objectTag; }

CountedObject::CountedObject() : refs_(1) {}
CountedObject::CountedObject(const CountedObject& other) : Object(other), refs_(1) {}
CountedObject::~CountedObject() = default;

void* CountedObject::_SeekClassIdentity(const ClassTag& tag) {
  return tag == countedObjectTag ? this : Object::_SeekClassIdentity(tag);
}

std::uint32_t CountedObject::addRef() { return ++refs_; }

std::uint32_t CountedObject::release() {
  std::uint32_t refs = refs_.load();
  do {
    // A release past the last one is the caller's fault; it must not free twice.
    if (refs == 0) return 0;
  } while (!refs_.compare_exchange_weak(refs, refs - 1));
  if (refs == 1) {
    onLastRelease();
    unregisterLeak();
    destroyInstance();
  }
  return refs - 1;
}

std::uint32_t CountedObject::referenceCount() const { return refs_.load(); }
const ClassTag& CountedObject::staticClassTag() { return countedObjectTag; }

ComponentObject::ComponentObject() = default;
ComponentObject::ComponentObject(const ComponentObject& other) : CountedObject(other) {}
ComponentObject::~ComponentObject() = default;

void ComponentObject::OnIdle() {}

void* ComponentObject::_SeekClassIdentity(const ClassTag& tag) {
  return tag == componentObjectTag ? this : CountedObject::_SeekClassIdentity(tag);
}

const ClassTag& ComponentObject::staticClassTag() { return componentObjectTag; }

void Class::ClearPool() {}
const char* Class::getPoolDebugInfo() const { return "no pool"; }

Class::~Class() {
  // A class object that did not withdraw itself must not be found afterwards.
  ClassTable& t = Classes();
  std::lock_guard<std::mutex> hold(t.lock);
  for (auto it = t.classes.begin(); it != t.classes.end();) {
    it = it->second == this ? t.classes.erase(it) : std::next(it);
  }
}

DynamicObject* Class::createInstance() {
  DynamicObject* object = newInstance();
  if (object != nullptr) object->registerLeak();
  return object;
}

Class* Class::findClass(const char* tagName) {
  if (tagName == nullptr) return nullptr;
  ClassTable& t = Classes();
  std::lock_guard<std::mutex> hold(t.lock);
  auto it = t.classes.find(tagName);
  return it == t.classes.end() ? nullptr : it->second;
}

void Class::setClass(Class* cls) {
  const std::string name = getClassTag().c_str();
  ClassTable& t = Classes();
  std::lock_guard<std::mutex> hold(t.lock);
  if (cls != nullptr) {
    t.classes[name] = cls;
  } else {
    auto it = t.classes.find(name);
    if (it != t.classes.end() && it->second == this) t.classes.erase(it);
  }
}

}  // namespace ondra
