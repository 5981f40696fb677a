#include "platform/fault_translator.h"

#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kAltStackSize = 64 * 1024;

struct sigaction g_previous[NSIG];
pthread_once_t g_installOnce = PTHREAD_ONCE_INIT;

thread_local FaultTranslator t_translator = nullptr;
thread_local int t_scopeDepth = 0;
thread_local bool t_altStackReady = false;
thread_local ExceptionRecordInfo t_record;
thread_local ExceptionPointers t_pointers;

// The thread's whole stack reservation: [low, high) usable, the guard below
// it. Read when the translator is installed, since finding it may read files
// and allocate, which a signal handler must not.
struct StackBounds {
  uintptr_t low = 0;
  uintptr_t high = 0;
  uintptr_t guard = 0;
};
thread_local StackBounds t_stack;

// Bytes below the stack pointer that code may use without moving it.
constexpr uintptr_t kRedZone = 256;

void ReadStackBounds() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void* base = nullptr;
  size_t size = 0, guard = 0;
  pthread_attr_getstack(&attr, &base, &size);
  pthread_attr_getguardsize(&attr, &guard);
  pthread_attr_destroy(&attr);
  StackBounds bounds;
  bounds.low = reinterpret_cast<uintptr_t>(base);
  bounds.high = bounds.low + size;
  // The main thread's stack grows on demand down to its size limit; the
  // kernel keeps a gap below it, a guard of its own.
  bounds.guard = guard > 0 ? guard : static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  if (bounds.guard > bounds.low) bounds.guard = bounds.low;
  t_stack = bounds;
}

// The stack pointer and the faulting instruction of a signal's context.
struct Registers {
  uintptr_t sp = 0;
  uintptr_t pc = 0;
};

Registers RegistersOf(const void* context) {
  Registers r;
  const auto* uc = static_cast<const ucontext_t*>(context);
  if (uc == nullptr) return r;
#if defined(__x86_64__)
  r.sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
  r.pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
  r.sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
  r.pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
  r.sp = static_cast<uintptr_t>(uc->uc_mcontext.sp);
  r.pc = static_cast<uintptr_t>(uc->uc_mcontext.pc);
#endif
  return r;
}

// The loaded segments of the object that carries this code, found when the
// handlers are installed: the handler may not ask the loader, which locks.
struct ModuleBounds {
  uintptr_t low = 0;
  uintptr_t high = 0;
};
ModuleBounds g_self;

int FindSelf(struct dl_phdr_info* info, size_t, void* data) {
  const auto self = reinterpret_cast<uintptr_t>(data);
  ModuleBounds bounds;
  bounds.low = UINTPTR_MAX;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (start < bounds.low) bounds.low = start;
    if (start + segment.p_memsz > bounds.high) bounds.high = start + segment.p_memsz;
  }
  if (self < bounds.low || self >= bounds.high) return 0;
  g_self = bounds;
  return 1;
}

bool InThisModule(uintptr_t pc) { return pc >= g_self.low && pc < g_self.high; }

// An overflow faults inside the reservation (its guard, or the part of the
// main thread's stack the kernel would not grow into), or, when one frame is
// larger than the guard, beyond it: the stack pointer has then left the
// stack in one step and the fault lies at it or within the frame above it.
bool IsStackOverflow(uintptr_t addr, uintptr_t sp) {
  const StackBounds& stack = t_stack;
  if (stack.high == 0) return false;
  if (addr >= stack.low - stack.guard && addr < stack.high) return true;
  return sp != 0 && sp < stack.low && addr < stack.low && addr + kRedZone >= sp;
}

uint32_t CodeFor(int sig, const siginfo_t* info, const void* context) {
  switch (sig) {
    case SIGSEGV:
      return IsStackOverflow(reinterpret_cast<uintptr_t>(info->si_addr), RegistersOf(context).sp)
                 ? kExceptionStackOverflow
                 : kExceptionAccessViolation;
    case SIGBUS:
      return info->si_code == BUS_ADRALN ? kExceptionDatatypeMisalignment : kExceptionInPageError;
    case SIGILL:
      return kExceptionIllegalInstruction;
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTDIV: return kExceptionIntDivideByZero;
        case FPE_INTOVF: return kExceptionIntOverflow;
        case FPE_FLTDIV: return kExceptionFltDivideByZero;
        case FPE_FLTOVF: return kExceptionFltOverflow;
        case FPE_FLTUND: return kExceptionFltUnderflow;
        case FPE_FLTRES: return kExceptionFltInexactResult;
        default: return kExceptionFltInvalidOperation;
      }
    default:
      return kExceptionAccessViolation;
  }
}

// Lets the signal take the course it would have had without us: the host's
// own handler, or what the kernel does for its disposition.
void RunPrevious(int sig, siginfo_t* info, void* context, bool synchronous) {
  const struct sigaction& prev = g_previous[sig];
  // The two handler fields share storage; SIG_DFL and SIG_IGN read the same
  // through either.
  if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN) {
    // With the mask the host asked its handler to run under.
    sigset_t saved;
    ::pthread_sigmask(SIG_BLOCK, &prev.sa_mask, &saved);
    if (prev.sa_flags & SA_SIGINFO) {
      prev.sa_sigaction(sig, info, context);
    } else {
      prev.sa_handler(sig);
    }
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return;
  }
  // An ignored signal that was sent is dropped; a fault cannot be ignored,
  // the kernel ends the process by it whatever the disposition.
  if (prev.sa_handler == SIG_IGN && !synchronous) return;
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  ::sigaction(sig, &dfl, nullptr);
  // A fault happens again when the instruction is re-executed on return. A
  // sent signal is sent again to this thread, where it waits, blocked while
  // the handler runs, and then ends the process by that very signal.
  if (!synchronous) ::pthread_kill(::pthread_self(), sig);
}

void OnFault(int sig, siginfo_t* info, void* context) {
  const bool synchronous = info != nullptr && info->si_code > 0;
  FaultTranslator translator = t_translator;
  // As under _set_se_translator, whose faults are those that meet the
  // plug-in's C++ frames: a fault of the host's own code after a command
  // takes the host's course, and is not thrown through frames that cannot
  // catch it.
  const bool ours = t_scopeDepth > 0 || InThisModule(RegistersOf(context).pc);
  if (translator == nullptr || !synchronous || !ours) {
    RunPrevious(sig, info, context, synchronous);
    return;
  }
  t_record.ExceptionCode = CodeFor(sig, info, context);
  t_record.ExceptionAddress = info->si_addr;
  t_pointers.ExceptionRecord = &t_record;
  t_pointers.ContextRecord = context;
  // The throw leaves the handler without sigreturn: unblock the signal so a
  // later fault on this thread is translated too.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  translator(t_record.ExceptionCode, &t_pointers);
  std::abort();  // a translator must not return
}

void InstallHandlers() {
  dl_iterate_phdr(FindSelf, reinterpret_cast<void*>(&InThisModule));
  for (int sig : kSignals) {
    struct sigaction sa {};
    sa.sa_sigaction = OnFault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, &g_previous[sig]);
  }
}

// Each translating thread gets an alternate stack so that a stack overflow
// can still be reported. The stack lives as long as the thread.
struct AltStack {
  void* memory = nullptr;
  ~AltStack() {
    if (memory == nullptr) return;
    stack_t disable {};
    disable.ss_flags = SS_DISABLE;
    stack_t current {};
    if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory) {
      ::sigaltstack(&disable, nullptr);
    }
    std::free(memory);
  }
};
thread_local AltStack t_altStack;

void EnsureAltStack() {
  if (t_altStackReady) return;
  t_altStackReady = true;
  stack_t current {};
  if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
  void* memory = std::malloc(kAltStackSize);
  if (memory == nullptr) return;
  stack_t ss {};
  ss.ss_sp = memory;
  ss.ss_size = kAltStackSize;
  if (::sigaltstack(&ss, nullptr) == 0) {
    t_altStack.memory = memory;
  } else {
    std::free(memory);
  }
}

// A library that carries this layer may be unloaded while the process goes
// on: hand the signals back so that no handler points into unmapped code.
__attribute__((destructor)) void RestoreHandlers() {
  for (int sig : kSignals) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
        current.sa_sigaction == OnFault) {
      ::sigaction(sig, &g_previous[sig], nullptr);
    }
  }
}

}  // namespace

FaultTranslator SetFaultTranslator(FaultTranslator translator) {
  pthread_once(&g_installOnce, InstallHandlers);
  if (translator != nullptr) {
    EnsureAltStack();
    if (t_stack.high == 0) ReadStackBounds();
  }
  FaultTranslator previous = t_translator;
  t_translator = translator;
  return previous;
}

FaultScope::FaultScope() { ++t_scopeDepth; }
FaultScope::~FaultScope() { --t_scopeDepth; }

}  // namespace platform
