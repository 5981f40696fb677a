// CComponentX, the sample component, and its class object CComponentXClass.
#include "component/component_x.h"

#include <cxxabi.h>

#include <new>

#include "component/library.h"

namespace {

// Builds a CComponentX in the host allocator's storage. A framework exception
// from the constructor is reported and answers null; anything else frees the
// storage and becomes `failure`, except thread cancellation, which goes on.
template <typename Construct>
CComponentX* NewComponent(Construct construct, const WideChar* failure) {
  void* storage = ondra::AllocBase::_alloc(sizeof(CComponentX));
  if (storage == nullptr) throw ondra::MemoryException(1, sizeof(CComponentX));
  try {
    return construct(storage);
  } catch (ondra::Exception& e) {
    ondra::AllocBase::_free(storage);
    e.report();
    return nullptr;
  } catch (abi::__forced_unwind&) {
    ondra::AllocBase::_free(storage);
    throw;
  } catch (...) {
    ondra::AllocBase::_free(storage);
    throw ondra::Exception(failure);
  }
}

}  // namespace

CComponentX::CComponentX() : ondra::CountedObject(), ondra::ComponentObject() {}

CComponentX::CComponentX(const CComponentX& other) : ondra::CountedObject(other), ondra::ComponentObject(other) {
  throw ondra::Exception(WIDE("Cannot clone CComponentX"));
}

CComponentX::~CComponentX() = default;

int CComponentX::OnInitialize(ondra::iComponentContext* context) {
  try {
    context->connect();
    return 1;
  } catch (ondra::Exception& e) {
    e.appendMessage(WIDE("%ls::%ls: Drovemark exception caught"), componentClassName, KVR_FunctionNameOnInitialize);
    e.report();
    throw ondra::Exception(e);
  } catch (const std::bad_alloc&) {
    throw ondra::Exception(WIDE("%ls::%ls: Out of memory"), componentClassName, KVR_FunctionNameOnInitialize);
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must go on
  } catch (...) {
    throw ondra::Exception(WIDE("%ls::%ls: Severe error caught"), componentClassName, KVR_FunctionNameOnInitialize);
  }
}

int CComponentX::OnEvent(std::uint32_t, void*) { return 1; }
void CComponentX::OnShutdown(ondra::iComponentContext*) {}

const ondra::ClassTag& CComponentX::getClassTag() const { return classTag; }

ondra::Object* CComponentX::clone() const {
  return NewComponent([this](void* storage) { return new (storage) CComponentX(*this); },
                      WIDE("Error when calling class copy constructor."));
}

ondra::Class* CComponentX::getClass() const { return &componentClass; }

void CComponentX::destroyInstance() {
  this->~CComponentX();
  ondra::AllocBase::_free(this);
}

void* CComponentX::_SeekClassIdentity(const ondra::ClassTag& tag) {
  if (tag == classTag) return this;
  return ondra::ComponentObject::_SeekClassIdentity(tag);
}

void CComponentX::registerLeak() { leakDetector.Add(this, "CComponentX"); }
void CComponentX::unregisterLeak() { leakDetector.Sub(this); }
void CComponentX::onLastRelease() {}

CComponentXClass::CComponentXClass() : tag(classTag), leakTracker(static_cast<const WideChar*>(nullptr), false) {
  setClass(this);
  leakTracker.SetName(tag.c_str());
}

CComponentXClass::~CComponentXClass() { setClass(nullptr); }

const ondra::ClassTag& CComponentXClass::getClassTag() const { return classTag; }

ondra::DynamicObject* CComponentXClass::newInstance() {
  CComponentX* object = NewComponent([](void* storage) { return new (storage) CComponentX(); },
                                     WIDE("Error when calling class constructor."));
  return static_cast<ondra::CountedObject*>(object);
}
