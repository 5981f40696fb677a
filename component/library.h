// QuorvilComponent's library level: globals, start-up and the class array.
#pragma once

#include <cstdint>

#include "component/component_x.h"
#include "ondra/ondra.h"

constexpr std::int32_t kS_OK = 0;
constexpr std::int32_t kE_FAIL = static_cast<std::int32_t>(0x80004005u);

// Constructed at load in this order, destroyed at unload in reverse.
extern ondra::ClassTagDecl classTag;
extern CComponentXClass componentClass;
extern ondra::LeakDetector leakDetector;
extern ondra::BaseString<char> libraryIdentifier;

extern bool libraryInitialized;
extern const WideChar componentClassName[];

void InitializeLibrary(ZetModuleHandle module);
// Fills an empty array with one record per class; failures leave as
// ondra::Exception.
void BuildClassArray(ondra::Array<CZetClassInfo>& classes);
