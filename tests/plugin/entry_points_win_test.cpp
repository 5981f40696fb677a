// Quorvil.dll as a Windows host sees it: loaded by name, its entry points
// resolved undecorated, and faults in PostCommand arriving as ErrObj.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "platform/machine_root.h"
#include "platform/utf.h"
#include "plugin/exports.h"
#include "support/err_obj.h"
#include "tests/plugin/recording_host.h"
#include "tests/test_support.h"

namespace {

using testing_support::ReadFile;

class LoadedDll : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = testing_support::PluginPath();
    const WideString wide = platform::Utf8ToUtf16(path.data(), path.size());
    module_ = ::LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
    ASSERT_NE(module_, nullptr) << path << " error " << ::GetLastError();
    post_ = reinterpret_cast<QuorvilPostCommand>(
        reinterpret_cast<void*>(::GetProcAddress(module_, "PostCommand")));
    ASSERT_NE(post_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  QuorvilEntryPoint Entry(const char* name) {
    return reinterpret_cast<QuorvilEntryPoint>(
        reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }

  HMODULE module_ = nullptr;
  QuorvilPostCommand post_ = nullptr;
};

TEST_F(LoadedDll, EveryEntryPointAnswersZeroAndLogsToTheRealLogFile) {
  for (const char* name :
       {"InitModule", "GetInfo", "GetPluginVersion", "RunTimeRoutine", "SetDbg", "UninitModule"}) {
    QuorvilEntryPoint entry = Entry(name);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(entry(), 0) << name;
  }
  EXPECT_EQ(Entry("_InitModule"), nullptr);
  EXPECT_EQ(Entry("Print"), nullptr);
  const std::string log = ReadFile("C:\\runtime.log");
  EXPECT_TRUE(std::regex_search(
      log, std::regex(R"(\[\d\d:\d\d:\d\d\]\[Quorvil\]INFO:Quorvil RunTimeRoutine\(\)\r\n)")))
      << log;
}

TEST_F(LoadedDll, UnknownCommandIsAnsweredZeroWithoutResult) {
  RecordingHost host;
  EXPECT_EQ(post_(&host), 0);
  EXPECT_TRUE(host.results.empty());
  ASSERT_FALSE(host.calls.empty());
  EXPECT_EQ(host.calls.front(), "GetName");
}

volatile int g_zero = 0;
int* volatile g_null = nullptr;

TEST_F(LoadedDll, FaultsInHostCallsReachTheCallerAsErrObj) {
  RecordingHost divides;
  divides.onGetName = [] { g_zero = 10 / g_zero; };
  try {
    post_(&divides);
    FAIL() << "no exception";
  } catch (ErrObj& e) {
    EXPECT_EQ(e.GetCode(), 0xC0000094u);
    EXPECT_EQ(e.GetDescription(), u"EXCEPTION_INT_DIVIDE_BY_ZERO");
  }
  RecordingHost writesNull;
  writesNull.onReadData = [] { *g_null = 1; };
  try {
    post_(&writesNull);
    FAIL() << "no exception";
  } catch (ErrObj& e) {
    EXPECT_EQ(e.GetCode(), 0xC0000005u);
    EXPECT_EQ(e.GetDescription(), u"EXCEPTION_ACCESS_VIOLATION");
  }
  // The translator stays on the thread: a third fault is translated too.
  try {
    post_(&divides);
    FAIL() << "no exception";
  } catch (ErrObj& e) {
    EXPECT_EQ(e.GetCode(), 0xC0000094u);
  }
}

}  // namespace
