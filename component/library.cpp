// QuorvilComponent's globals, start-up, shutdown and class array.
#include "component/library.h"

#include <cxxabi.h>

#include <new>

namespace {

constexpr const char* kProgId = "Components_R_Us.ComponentX.1";
constexpr const WideChar kDescription[] = WIDE("A plug-in component template");

// Its address names this library to the host, as a module handle would.
const char moduleAnchor = 0;

void FillClassInfo(CZetClassInfo& info) {
  info.progId = classTag.c_str();
  info.classDescription = kDescription;
  info.flags = 0;
}

}  // namespace

// The priority puts the globals before the attach function below; the
// standard keeps them in this order among themselves.
__attribute__((init_priority(1000))) ondra::ClassTagDecl classTag(kProgId);
__attribute__((init_priority(1000))) CComponentXClass componentClass;
__attribute__((init_priority(1000))) ondra::LeakDetector leakDetector(kProgId, false);
__attribute__((init_priority(1000))) ondra::BaseString<char> libraryIdentifier;

bool libraryInitialized = false;
const WideChar componentClassName[] = WIDE("CComponentX");

void InitializeLibrary(ZetModuleHandle module) {
  libraryInitialized = true;
  if (module != nullptr) CZetLibraryUtils::SetLibraryIdentifier(module, libraryIdentifier);
  CZetLibraryUtils::InitFactoryComponentMap();
  CZetClassInfo info;
  FillClassInfo(info);
  CZetLibraryUtils::PopulateFactoryComponentMap(info);
}

void BuildClassArray(ondra::Array<CZetClassInfo>& classes) {
  try {
    classes.setCount(0);
    CZetClassInfo info;
    FillClassInfo(info);
    classes.append(info);
  } catch (ondra::Exception& e) {
    e.appendMessage(WIDE("%ls: Drovemark exception caught"), WIDE("BuildClassArray"));
    e.report();
    throw ondra::Exception(e);
  } catch (const std::bad_alloc&) {
    throw ondra::Exception(WIDE("%ls: Out of memory"), WIDE("BuildClassArray"));
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must go on
  } catch (...) {
    throw ondra::Exception(WIDE("%ls: Severe error caught"), WIDE("BuildClassArray"));
  }
}

namespace {

// Process attach. A constructor function cannot fail the load, and an escaping
// exception would end the host; the exports work without the identifier.
__attribute__((constructor(1001))) void ProcessAttach() {
  try {
    InitializeLibrary(&moduleAnchor);
  } catch (...) {
  }
}

// Process detach: only the host's map, which outlives every library global.
__attribute__((destructor)) void ProcessDetach() {
  if (libraryInitialized) CZetLibraryUtils::ClearFactoryComponentMap();
}

}  // namespace
