// Structured exceptions turned into C++ exceptions on Windows with g++.
//
// _set_se_translator is a Visual C++ runtime feature, and a C++ exception
// cannot be thrown out of a vectored handler. So the handler saves the record,
// makes the faulting thread "call" a function that throws from the faulting
// instruction, and continues it there; -fnon-call-exceptions gives that
// instruction unwind information. A stack overflow is left alone: there is no
// stack left to throw on.
//
// A vectored handler sees every fault of the process before any frame-based
// handler, where _set_se_translator only meets the faults that reach C++
// exception handling. So only faults of a running command (a FaultScope) or
// of this module's own code are taken; the host's other faults go on to the
// handlers that would have seen them, its __try/__except frames among them.
#include "platform/fault_translator.h"

#include <windows.h>

#include <cstdlib>

namespace platform {
namespace {

thread_local FaultTranslator t_translator = nullptr;
thread_local ExceptionRecordInfo t_record;
thread_local ExceptionPointers t_pointers;
thread_local CONTEXT t_context;
thread_local int t_scopeDepth = 0;
HMODULE g_self = nullptr;  // this code's module, found before the handler is registered

bool Translatable(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
      return true;
    default:
      return false;
  }
}

// Runs in place of the faulting instruction, as if called from it.
[[noreturn]] void ThrowSavedFault() {
  t_translator(t_record.ExceptionCode, &t_pointers);
  std::abort();  // a translator must not return
}

HMODULE ModuleAt(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

bool OursToTranslate(const EXCEPTION_RECORD* record) {
  if (t_scopeDepth > 0) return true;
  return g_self != nullptr && ModuleAt(record->ExceptionAddress) == g_self;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (t_translator == nullptr || !Translatable(record->ExceptionCode) ||
      !OursToTranslate(record)) {
    return EXCEPTION_CONTINUE_SEARCH;  // the fault runs its course without us
  }
  t_context = *info->ContextRecord;
  t_record.ExceptionCode = record->ExceptionCode;
  t_record.ExceptionAddress = record->ExceptionAddress;
  t_pointers.ExceptionRecord = &t_record;
  t_pointers.ContextRecord = &t_context;
  CONTEXT* context = info->ContextRecord;
#if defined(_M_IX86) || defined(__i386__)
  // The return address points one past the faulting instruction's first byte,
  // so that the unwinder, which looks one byte back, lands inside it.
  context->Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
  context->Eip = reinterpret_cast<DWORD>(&ThrowSavedFault);
#elif defined(_M_X64) || defined(__x86_64__)
  // The same "call" on x64. Outside prologues and epilogues the stack is
  // 16-byte aligned, so the pushed address leaves it as a call would.
  context->Rsp -= sizeof(DWORD64);
  *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
  context->Rip = reinterpret_cast<DWORD64>(&ThrowSavedFault);
#else
#error "fault translation is written for x86 and x64"
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Registered on first use; removed when the module is unloaded, so that no
// handler points into unmapped code.
struct VectoredHandler {
  VectoredHandler() {
    g_self = ModuleAt(reinterpret_cast<const void*>(&OnException));
    handle = ::AddVectoredExceptionHandler(1, OnException);
  }
  PVOID handle = nullptr;
  ~VectoredHandler() {
    if (handle != nullptr) ::RemoveVectoredExceptionHandler(handle);
  }
};

}  // namespace

FaultTranslator SetFaultTranslator(FaultTranslator translator) {
  static VectoredHandler handler;
  FaultTranslator previous = t_translator;
  t_translator = translator;
  return previous;
}

FaultScope::FaultScope() { ++t_scopeDepth; }
FaultScope::~FaultScope() { --t_scopeDepth; }

}  // namespace platform
