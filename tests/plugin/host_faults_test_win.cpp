// Quorvil.dll in a host that handles faults of its own with frame-based
// (__try/__except) handlers on the threads that run commands: the host keeps
// its faults, the commands' faults still reach it as ErrObj.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/standin/shared_library.h"
#include "plugin/exports.h"
#include "support/err_obj.h"
#include "tests/plugin/recording_host.h"
#include "tests/common/test_support.h"

namespace {

int g_handled = 0;
constexpr DWORD kUnwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING, EXCEPTION_EXIT_UNWIND

}  // namespace

// Reads address 0 under a frame-based handler of its own, as __try does;
// answers 1 once the handler resumed it.
extern "C" int HostReadsNull() __asm__("host_reads_null");
extern "C" EXCEPTION_DISPOSITION HostHandler(EXCEPTION_RECORD* record, void* frame,
                                             CONTEXT* context, void*) __asm__("host_handler");

#if defined(__i386__)
namespace {

// The registration record the host's code pushes, with where to resume.
struct HostFrame {
  void* previous;
  void* handler;
  DWORD resume;
  DWORD ebp;
};

}  // namespace

// The handler registered by hand on the fs:[0] chain, as __try does on i686.
__asm__(R"(
  .text
  .globl host_reads_null
host_reads_null:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  pushl %ebp
  pushl $host_resume
  pushl $host_handler
  pushl %fs:0
  movl %esp, %fs:0
  xorl %eax, %eax
  movl (%eax), %eax
  xorl %eax, %eax
  jmp host_done
host_resume:
  movl $1, %eax
host_done:
  popl %ecx
  movl %ecx, %fs:0
  addl $12, %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

EXCEPTION_DISPOSITION HostHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*) {
  if ((record->ExceptionFlags & kUnwinding) != 0 ||
      record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) {
    return ExceptionContinueSearch;
  }
  const auto* own = static_cast<const HostFrame*>(frame);
  context->Eip = own->resume;
  context->Esp = reinterpret_cast<DWORD>(frame);
  context->Ebp = own->ebp;
  ++g_handled;
  return ExceptionContinueExecution;
}
#elif defined(__x86_64__)
// On x64 __try's handler is named in the function's unwind table rather than
// pushed on a chain: the same host function, its handler declared that way
// (the 64-bit build where 32-bit Wine cannot run).
extern "C" char HostResume[] __asm__("host_resume");

__asm__(R"(
  .text
  .globl host_reads_null
  .def host_reads_null; .scl 2; .type 32; .endef
  .seh_proc host_reads_null
host_reads_null:
  .seh_handler host_handler, @except
  subq $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  xorl %eax, %eax
  movl (%rax), %eax
  xorl %eax, %eax
  jmp host_done
  .globl host_resume
host_resume:
  movl $1, %eax
host_done:
  addq $40, %rsp
  ret
  .seh_endproc
)");

EXCEPTION_DISPOSITION HostHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
  if ((record->ExceptionFlags & kUnwinding) != 0 ||
      record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) {
    return ExceptionContinueSearch;
  }
  context->Rip = reinterpret_cast<DWORD64>(HostResume);
  ++g_handled;
  return ExceptionContinueExecution;
}
#else
#error "the host's frame-based handler is written for x86 and x64"
#endif

namespace {

volatile int g_zero = 0;
int* volatile g_null = nullptr;

uint32_t CodeOf(QuorvilPostCommand post, RecordingHost& host) {
  try {
    post(&host);
  } catch (ErrObj& e) {
    return e.GetCode();
  }
  return 0;
}

TEST(HostFaults, HostKeepsItsHandledFaultsAndCommandFaultsStillArriveAsErrObj) {
  std::string error;
  const platform::SharedLibrary library(testing_support::PluginPath(), &error);
  ASSERT_TRUE(library.is_loaded()) << error;
  auto post = reinterpret_cast<QuorvilPostCommand>(library.Symbol("PostCommand"));
  ASSERT_NE(post, nullptr);

  // In the host's callback, during the command.
  RecordingHost divides;
  divides.onGetName = [] { g_zero = 10 / g_zero; };
  EXPECT_EQ(CodeOf(post, divides), 0xC0000094u);
  // The thread now carries the translator; the host's own fault is still its own.
  EXPECT_EQ(HostReadsNull(), 1);

  // A callback that runs a command of its own is still inside the first one.
  RecordingHost inner;
  RecordingHost outer;
  outer.onGetName = [&] {
    post(&inner);
    *g_null = 1;
  };
  EXPECT_EQ(CodeOf(post, outer), 0xC0000005u);

  // In the plug-in's own code: a received context nobody may read.
  void* unreadable = ::VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(unreadable, nullptr);
  RecordingHost broken;
  broken.name = WIDE("TemplateConfig");
  broken.attributes[WIDE("Modified")] = WIDE("true");
  broken.attributes[WIDE("Attachment")] = WIDE("true");
  broken.receivedSoap = static_cast<struct soap*>(unreadable);
  EXPECT_EQ(CodeOf(post, broken), 0xC0000005u);
  ::VirtualFree(unreadable, 0, MEM_RELEASE);

  EXPECT_EQ(HostReadsNull(), 1);
  EXPECT_EQ(g_handled, 2);
}

}  // namespace
