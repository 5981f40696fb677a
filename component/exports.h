// The three entry points of QuorvilComponent, looked up by name.
#pragma once

#include <cstdint>

#include "ondra/ondra.h"

#define QUORVIL_COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))

// 0 (S_OK), or 0x80004005 (E_FAIL) when the host threw ondra::Exception.
QUORVIL_COMPONENT_EXPORT std::int32_t DllRegisterServer();
QUORVIL_COMPONENT_EXPORT std::int32_t DllUnregisterServer();
// The new instance with one reference, or null when the host threw
// ondra::Exception.
QUORVIL_COMPONENT_EXPORT ondra::DynamicObject* DllCreateInstance(const char* progId);

// Signatures as the host resolves them.
using DllRegisterServerFn = std::int32_t (*)();
using DllCreateInstanceFn = ondra::DynamicObject* (*)(const char*);
