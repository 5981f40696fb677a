// Stack overflows on POSIX threads: however large the frames, the fault is
// named a stack overflow. On Windows an overflow cannot be translated (there
// is no stack left to throw from) and it ends the process.
#include "platform/fault_translator.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdint>
#include <thread>

#include "tests/platform/thrown_faults.h"

namespace {

using namespace thrown_faults;

volatile bool g_deeper = true;

// Recursion without end, each frame kFrame bytes large.
template <size_t kFrame>
__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[kFrame];
  frame[0] = static_cast<char>(depth);
  frame[kFrame - 1] = frame[0];
  const int below = g_deeper ? Recurse<kFrame>(depth + 1) : 0;
  return below + frame[kFrame / 2];
}

template <size_t kFrame>
uint32_t OverflowCode() {
  platform::SetFaultTranslator(Throwing);
  uint32_t code = 0;
  try {
    (void)Recurse<kFrame>(0);
  } catch (const Translated& t) {
    code = t.code;
  }
  platform::SetFaultTranslator(nullptr);
  return code;
}

constexpr size_t kSmallFrame = 64;
constexpr size_t kLargeFrame = 64 * 1024;  // far larger than a guard page

// The overflow of large frames after kPad bytes of stack: where the last
// frame ends against the stack's bottom depends on what the thread used first.
template <size_t kPad>
__attribute__((noinline)) uint32_t PaddedOverflowCode() {
  volatile char pad[kPad];
  pad[0] = 0;
  return OverflowCode<kLargeFrame>() + static_cast<uint32_t>(pad[0]);
}

// Large frames ending at four places against the bottom; answers the first
// code that is not a stack overflow.
uint32_t LargeFrameOverflowCode() {
  for (uint32_t (*run)() : {PaddedOverflowCode<16>, PaddedOverflowCode<16 * 1024>,
                            PaddedOverflowCode<32 * 1024>, PaddedOverflowCode<48 * 1024>}) {
    const uint32_t code = run();
    if (code != platform::kExceptionStackOverflow) return code;
  }
  return platform::kExceptionStackOverflow;
}

TEST(FaultTranslator, StackOverflowOfSmallAndLargeFramesOnTheMainThread) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_STACK, &limit), 0);
  if (limit.rlim_cur == RLIM_INFINITY) GTEST_SKIP() << "the main thread's stack has no limit";
  EXPECT_EQ(OverflowCode<kSmallFrame>(), platform::kExceptionStackOverflow);
  EXPECT_EQ(LargeFrameOverflowCode(), platform::kExceptionStackOverflow);
  // Other faults keep their codes on the same thread afterwards.
  platform::SetFaultTranslator(Throwing);
  EXPECT_EQ(CodeOf(WriteNull), platform::kExceptionAccessViolation);
  platform::SetFaultTranslator(nullptr);
}

// A worker on a stack of the host's own, without a guard the thread library
// knows of, with unmapped space below it: a large frame's fault lies below
// the stack's reservation, not in it.
uint32_t OverflowOnWorker(uint32_t (*overflow)()) {
  constexpr size_t kBelow = 1 << 20, kStack = 1 << 20;
  char* region = static_cast<char*>(::mmap(nullptr, kBelow + kStack, PROT_NONE,
                                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  if (region == MAP_FAILED) return 0;
  struct Run {
    uint32_t (*overflow)();
    uint32_t code;
  } run{overflow, 0};
  pthread_attr_t attr;
  pthread_t thread;
  const bool started =
      ::mprotect(region + kBelow, kStack, PROT_READ | PROT_WRITE) == 0 &&
      pthread_attr_init(&attr) == 0 && pthread_attr_setstack(&attr, region + kBelow, kStack) == 0 &&
      pthread_create(
          &thread, &attr,
          [](void* arg) -> void* {
            auto* r = static_cast<Run*>(arg);
            r->code = r->overflow();
            return nullptr;
          },
          &run) == 0;
  if (started) pthread_join(thread, nullptr);
  ::munmap(region, kBelow + kStack);
  return run.code;
}

TEST(FaultTranslator, StackOverflowOfSmallAndLargeFramesOnAWorkerThread) {
  EXPECT_EQ(OverflowOnWorker(OverflowCode<kSmallFrame>), platform::kExceptionStackOverflow);
  EXPECT_EQ(OverflowOnWorker(LargeFrameOverflowCode), platform::kExceptionStackOverflow);
  // A default thread, whose guard the thread library placed.
  uint32_t code = 0;
  std::thread([&] { code = OverflowCode<kSmallFrame>(); }).join();
  EXPECT_EQ(code, platform::kExceptionStackOverflow);
}

}  // namespace
