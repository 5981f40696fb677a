// Faults raised on purpose and the translator that throws their codes, for
// the fault translator's suites.
#pragma once

#include <cstdint>

#include "platform/fault_translator.h"

namespace thrown_faults {

struct Translated {
  uint32_t code;
};

[[noreturn]] inline void Throwing(unsigned int, platform::ExceptionPointers* p) {
  throw Translated{p->ExceptionRecord->ExceptionCode};
}

inline volatile int g_zero = 0;
inline int* volatile g_null = nullptr;

__attribute__((noinline)) inline int Divide(int a) { return a / g_zero; }
__attribute__((noinline)) inline void WriteNull() { *g_null = 1; }

// The code the fault was translated to, 0 when nothing was thrown.
inline uint32_t CodeOf(void (*fault)()) {
  try {
    fault();
  } catch (const Translated& t) {
    return t.code;
  }
  return 0;
}

}  // namespace thrown_faults
