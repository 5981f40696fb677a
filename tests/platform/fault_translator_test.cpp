#include "platform/fault_translator.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/platform/thrown_faults.h"

namespace {

using namespace thrown_faults;

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
