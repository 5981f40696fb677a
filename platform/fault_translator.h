// Synchronous faults (structured exceptions) turned into C++ exceptions, per
// thread, like the C runtime's _set_se_translator.
#pragma once

#include <cstdint>

namespace platform {

// The parts of the Windows exception records that the system reads.
struct ExceptionRecordInfo {
  uint32_t ExceptionCode;
  void* ExceptionAddress;
};

struct ExceptionPointers {
  ExceptionRecordInfo* ExceptionRecord;
  void* ContextRecord;
};

// Must throw; returning is treated as a fault nobody handled.
using FaultTranslator = void (*)(unsigned int code, ExceptionPointers* pointers);

// Installs the translator on the calling thread and answers the previous one.
// On a thread with a translator, a synchronous SIGSEGV, SIGBUS, SIGFPE or SIGILL
// of a FaultScope or of this module is thrown through it; any other fault runs
// its previous course.
FaultTranslator SetFaultTranslator(FaultTranslator translator);

// Marks the calling thread as running a command of the plug-in for the
// scope's lifetime; scopes nest and end with the unwinding of an exception.
// A fault is translated only inside such a scope or when it lies in the module
// that carries this layer: the host's own faults elsewhere keep their
// handlers.
class FaultScope {
 public:
  FaultScope();
  ~FaultScope();
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;
};

// Exception codes of the faults.
constexpr uint32_t kExceptionAccessViolation = 0xC0000005u;
constexpr uint32_t kExceptionStackOverflow = 0xC00000FDu;
constexpr uint32_t kExceptionDatatypeMisalignment = 0x80000002u;
constexpr uint32_t kExceptionInPageError = 0xC0000006u;
constexpr uint32_t kExceptionIllegalInstruction = 0xC000001Du;
constexpr uint32_t kExceptionIntDivideByZero = 0xC0000094u;
constexpr uint32_t kExceptionIntOverflow = 0xC0000095u;
constexpr uint32_t kExceptionFltDivideByZero = 0xC000008Eu;
constexpr uint32_t kExceptionFltInexactResult = 0xC000008Fu;
constexpr uint32_t kExceptionFltInvalidOperation = 0xC0000090u;
constexpr uint32_t kExceptionFltOverflow = 0xC0000091u;
constexpr uint32_t kExceptionFltUnderflow = 0xC0000093u;

}  // namespace platform
