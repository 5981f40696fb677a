// Entry points of QuorvilComponent; the work is done at the library level.
#include "component/exports.h"

#include "component/library.h"

namespace {

using Registrar = void (*)(const ondra::Array<CZetClassInfo>&, const char*);

std::int32_t RegisterWith(Registrar registrar) {
  if (!libraryInitialized) InitializeLibrary(nullptr);
  ondra::Array<CZetClassInfo> classes;
  try {
    BuildClassArray(classes);
    registrar(classes, libraryIdentifier.c_str());
    classes.clear();
    return kS_OK;
  } catch (const ondra::Exception&) {
    classes.clear();
    return kE_FAIL;
  }
}

}  // namespace

std::int32_t DllRegisterServer() { return RegisterWith(&CZetLibraryUtils::RegisterLibraryClasses); }

std::int32_t DllUnregisterServer() { return RegisterWith(&CZetLibraryUtils::UnregisterLibraryClasses); }

ondra::DynamicObject* DllCreateInstance(const char* progId) {
  if (!libraryInitialized) InitializeLibrary(nullptr);
  try {
    return CZetLibraryUtils::CreateClassInstance(progId);
  } catch (const ondra::Exception&) {
    return nullptr;
  }
}
