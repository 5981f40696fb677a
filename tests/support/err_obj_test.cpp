#include "support/err_obj.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>

#include "support/log_module.h"
#include "tests/common/test_support.h"

namespace {

ErrObj FromCode(uint32_t code) {
  platform::ExceptionRecordInfo record{code, nullptr};
  platform::ExceptionPointers pointers{&record, nullptr};
  return ErrObj(&pointers);
}

TEST(ErrObj, KnownCodesCarryTheirNames) {
  const std::pair<uint32_t, const WideChar*> table[] = {
      {0x80000002u, WIDE("EXCEPTION_DATATYPE_MISALIGNMENT")},
      {0xC0000005u, WIDE("EXCEPTION_ACCESS_VIOLATION")},
      {0xC0000006u, WIDE("EXCEPTION_IN_PAGE_ERROR")},
      {0xC000001Du, WIDE("EXCEPTION_ILLEGAL_INSTRUCTION")},
      {0xC0000025u, WIDE("EXCEPTION_NONCONTINUABLE_EXCEPTION")},
      {0xC000008Cu, WIDE("EXCEPTION_ARRAY_BOUNDS_EXCEEDED")},
      {0xC0000094u, WIDE("EXCEPTION_INT_DIVIDE_BY_ZERO")},
      {0xC0000095u, WIDE("EXCEPTION_INT_OVERFLOW")},
      {0xC00000FDu, WIDE("EXCEPTION_STACK_OVERFLOW")},
  };
  for (const auto& entry : table) {
    ErrObj e = FromCode(entry.first);
    EXPECT_EQ(e.GetCode(), entry.first);
    EXPECT_EQ(e.GetDescription(), entry.second);
    EXPECT_FALSE(e.IsSystemError());
  }
}

TEST(ErrObj, UnnamedCodesKeepTheirCodeAndReadNoDesc) {
  ErrObj e = FromCode(0xC000008Eu);  // floating-point divide by zero has no name
  EXPECT_EQ(e.GetCode(), 0xC000008Eu);
  EXPECT_EQ(e.GetDescription(), WIDE("No desc"));
  EXPECT_EQ(e.GetDescription(), WIDE("No desc"));
}

TEST(ErrObj, CopyCarriesCodeDescriptionAndFlag) {
  ErrObj original(ENOENT, true);
  const WideString text = original.GetDescription();
  ErrObj copy(original);
  EXPECT_EQ(copy.GetCode(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(copy.IsSystemError());
  EXPECT_EQ(copy.GetDescription(), text);
  EXPECT_EQ(text, WIDE("No such file or directory"));
}

TEST(ErrObj, SystemErrorTextIsCutAtTheCarriageReturnAndEmptyWhenUnknown) {
  EXPECT_EQ(SystemErrorText(EACCES), WIDE("Permission denied"));
  EXPECT_EQ(SystemErrorText(0x7ffffff0u), WIDE(""));
  ErrObj unknown(0x7ffffff0u, true);
  EXPECT_EQ(unknown.GetDescription(), WIDE(""));
}

TEST(ErrObj, ReportWritesOneDbgPluginLineWithTheNegativeCode) {
  FromCode(0xC0000005u).Report(0);
  const std::string log = testing_support::ReadFile(LogFilePath());
  EXPECT_TRUE(std::regex_search(
      log, std::regex(R"(\[[0-9:]{8}\]\[DbgPlugin\]INFO:Err occur, Code:-1073741819\t\n\tEXCEPTION_ACCESS_VIOLATION\r\n)")))
      << log;
}

TEST(ErrObj, DbgPrintCutsAt1023UnitsAndPrintsPercentLiterally) {
  DbgPrint(WIDE("%s"), WideString(5000, WIDE('z')).c_str());
  DbgPrint(WIDE("100%% sure %s"), WIDE("%d%s"));
  const std::string log = testing_support::ReadFile(LogFilePath());
  EXPECT_NE(log.find("INFO:" + std::string(1023, 'z') + "\r\n"), std::string::npos);
  EXPECT_EQ(log.find(std::string(1024, 'z')), std::string::npos);
  EXPECT_NE(log.find("INFO:100% sure %d%s\r\n"), std::string::npos);
}

TEST(ErrObj, TranslatorThrowsByValueFromTheRecord) {
  platform::ExceptionRecordInfo record{0xC0000094u, nullptr};
  platform::ExceptionPointers pointers{&record, nullptr};
  try {
    TranslateStructuredException(0, &pointers);
    FAIL() << "returned";
  } catch (ErrObj& e) {
    EXPECT_EQ(e.GetCode(), 0xC0000094u);
    EXPECT_EQ(e.GetDescription(), WIDE("EXCEPTION_INT_DIVIDE_BY_ZERO"));
  }
}

}  // namespace
