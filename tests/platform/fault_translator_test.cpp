#include "platform/fault_translator.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct Translated {
  uint32_t code;
};

[[noreturn]] void Throwing(unsigned int, platform::ExceptionPointers* p) {
  throw Translated{p->ExceptionRecord->ExceptionCode};
}

volatile int g_zero = 0;
int* volatile g_null = nullptr;

__attribute__((noinline)) int Divide(int a) { return a / g_zero; }
__attribute__((noinline)) void WriteNull() { *g_null = 1; }

uint32_t CodeOf(void (*fault)()) {
  try {
    fault();
  } catch (const Translated& t) {
    return t.code;
  }
  return 0;
}

TEST(FaultTranslator, DivisionByZeroAndNullWriteBecomeThrownCodes) {
  platform::SetFaultTranslator(Throwing);
  EXPECT_EQ(CodeOf([] { (void)Divide(7); }), platform::kExceptionIntDivideByZero);
  EXPECT_EQ(CodeOf(WriteNull), platform::kExceptionAccessViolation);
  // The signal was unblocked before the throw: a second fault is translated too.
  EXPECT_EQ(CodeOf(WriteNull), platform::kExceptionAccessViolation);
  platform::SetFaultTranslator(nullptr);
}

TEST(FaultTranslator, IsPerThread) {
  platform::SetFaultTranslator(Throwing);
  platform::FaultTranslator seen = reinterpret_cast<platform::FaultTranslator>(1);
  std::thread([&] { seen = platform::SetFaultTranslator(nullptr); }).join();
  EXPECT_EQ(seen, nullptr);
  EXPECT_EQ(platform::SetFaultTranslator(nullptr), &Throwing);
}


using FaultTranslatorDeathTest = ::testing::Test;

TEST(FaultTranslatorDeathTest, ThreadWithoutTranslatorStillCrashes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        platform::SetFaultTranslator(Throwing);
        std::thread([] { WriteNull(); }).join();
      },
      "");
}

}  // namespace
