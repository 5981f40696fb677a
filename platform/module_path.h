// Where the running program and its modules lie.
#pragma once

#include "platform/wide.h"

namespace platform {

// Path separator of agent-relative paths on this platform.
#ifdef _WIN32
constexpr WideChar kPathSeparator = WIDE('\\');
#else
constexpr WideChar kPathSeparator = WIDE('/');
#endif

// Full path of the current process's executable, at most maxUnits code units;
// empty when it cannot be found or does not fit.
WideString ExecutablePath(size_t maxUnits);

// Full path of the shared object containing `address`; empty when unknown.
WideString ModulePathOf(const void* address);

}  // namespace platform
