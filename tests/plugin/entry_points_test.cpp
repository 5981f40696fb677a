// The plug-in as the agent host sees it: its exports, its log lines, and the
// calls PostCommand makes on the host's objects.
#include <gtest/gtest.h>

#include <regex>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/standin/shared_library.h"
#include "plugin/exports.h"
#include "support/err_obj.h"
#include "tests/plugin/recording_host.h"
#include "platform/standin/shared_library.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::AgentPath;
using testing_support::BuildDir;
using testing_support::PluginLogPath;
using testing_support::ReadFile;
using testing_support::RunProcess;
using testing_support::TempDir;

TEST(PluginExports, ExactlyTheSevenEntryPointsAreExported) {
  std::vector<std::string> names;
  ASSERT_TRUE(testing_support::ExportedNames(testing_support::PluginPath(), &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"GetInfo", "GetPluginVersion", "InitModule",
                                             "PostCommand", "RunTimeRoutine", "SetDbg",
                                             "UninitModule"}));
}

TEST(PluginExports, EachEntryPointLogsItsLineAndSetDbgNothing) {
  TempDir root;
  testing_support::WriteFile(root.path() + "/keep", "");
  const std::string log = PluginLogPath(root.path());
  platform::MakeDirectories(log.substr(0, log.rfind('/')));
  testing_support::WriteFile(log, "earlier\r\n");
  auto r = RunProcess({AgentPath(), "--plugin", testing_support::PluginPath(), "exports"},
                      {{"QUORVIL_ROOT", root.path()}});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "InitModule: 0\nGetInfo: 0\nGetPluginVersion: 0\nRunTimeRoutine: 0\nSetDbg: 0\n"
            "UninitModule: 0\n");
  const std::string t = R"(\[\d\d:\d\d:\d\d\]\[Quorvil\]INFO:)";
  EXPECT_TRUE(std::regex_match(ReadFile(log),
                               std::regex("earlier\r\n" + t + R"(Quorvil InitModule\(\)\r\n)" + t +
                                          R"(Quorvil GetInfo\(\)\r\n)" + t +
                                          R"(Quorvil GetVersion\(\)\r\n)" + t +
                                          R"(Quorvil RunTimeRoutine\(\)\r\n)" + t +
                                          R"(Quorvil UninitModule\(\)\r\n)")))
      << ReadFile(log);
}

TEST(PluginExports, RegistrySwitchSilencesMainLogButNotTheErrorReport) {
  TempDir root;
  const std::string log = PluginLogPath(root.path());
  testing_support::RemoveTree(log);
  // Windows' registry is the machine's own and outlives the test: the switch
  // goes when it ends.
  testing_support::ScopedRoot machine(root.path());
  auto key = platform::RegKey::Create("Software\\Korvane\\LogModule", platform::RegAccess::kAll);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->SetValue("Quorvil", platform::kRegSz, WIDE(""), sizeof(WideChar)));
  struct Unswitch {
    platform::RegKey* key;
    ~Unswitch() { key->DeleteValue("Quorvil"); }
  } unswitch{key.get()};
  auto r = RunProcess({AgentPath(), "--plugin", testing_support::PluginPath(), "exports"},
                      {{"QUORVIL_ROOT", root.path()}});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(log), "");
}

TEST(PluginExports, UnopenableLogSendsTheNoticeOncePerChannelThenLinesToStandardError) {
  TempDir root;
  ASSERT_TRUE(platform::MakeDirectories(root.path() + "/drive_c/runtime.log"));
  auto r = RunProcess({AgentPath(), "--plugin", testing_support::PluginPath(), "call", "InitModule"},
                      {{"QUORVIL_ROOT", root.path()}});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string notice = "Cannot open log file:" + root.path() +
                             "/drive_c/runtime.log, redirect the log using OutputDebugString().\r\n";
  EXPECT_EQ(r.err.substr(0, 2 * notice.size()), notice + notice);
  EXPECT_TRUE(std::regex_match(r.err.substr(2 * notice.size()),
                               std::regex(R"(\[[0-9:]{8}\]\[Quorvil\]INFO:Quorvil InitModule\(\)\r\n)")))
      << r.err;
}

TEST(PluginExports, MissingEntryPointIsNamedByTheHost) {
  // The C runtime exports none of the seven.
  auto r = RunProcess({AgentPath(), "--plugin", testing_support::SystemLibraryPath(), "exports"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("does not export InitModule"), std::string::npos) << r.err;
}

// The plug-in loaded into this process, as a host would load it.
class LoadedPlugin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    library_ = platform::SharedLibrary(testing_support::PluginPath(), &error);
    ASSERT_TRUE(library_.is_loaded()) << error;
    post_ = reinterpret_cast<QuorvilPostCommand>(library_.Symbol("PostCommand"));
    ASSERT_NE(post_, nullptr);
  }
  static platform::SharedLibrary library_;
  static QuorvilPostCommand post_;
};
platform::SharedLibrary LoadedPlugin::library_;
QuorvilPostCommand LoadedPlugin::post_ = nullptr;

TEST_F(LoadedPlugin, UnhandledCommandFollowsTheCallingOrderWithoutSetResult) {
  RecordingHost host;
  host.name = WIDE("Reboot");
  EXPECT_EQ(post_(&host), 0);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"GetName", "FillAttributes", "GetContext",
                                                  "GetRequest", "GetDataSize", "ReadData",
                                                  "GetRequest", "GetSoap"}));
  EXPECT_TRUE(host.results.empty());
  const std::string log = ReadFile(platform::NativePath("C:\\runtime.log"));
  EXPECT_NE(log.find("INFO:TemplateConfig----wsxml = <Command/>\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("INFO:TemplateConfig----name = Reboot\r\n"), std::string::npos);
}

TEST_F(LoadedPlugin, CommandTextOfOddOrZeroSizeOrWithoutTerminatorIsReadSafely) {
  for (int32_t size : {0, 1, 7}) {
    RecordingHost host;
    host.text = WIDE("abcdefgh");  // longer than the size the host reports
    host.dataSizeOverride = size;
    EXPECT_EQ(post_(&host), 0);
  }
  const std::string log = ReadFile(platform::NativePath("C:\\runtime.log"));
  EXPECT_NE(log.find("INFO:TemplateConfig----wsxml = abc\r\n"), std::string::npos) << log;
}

volatile int g_zero = 0;
int* volatile g_null = nullptr;

TEST_F(LoadedPlugin, FaultsInHostCallsReachTheCallerAsErrObj) {
  RecordingHost divides;
  divides.onGetName = [] { g_zero = 10 / g_zero; };
  try {
    post_(&divides);
    FAIL() << "no exception";
  } catch (const quorvil::ErrObj& e) {  // as a host catches it: the interface's type, const
    EXPECT_EQ(e.GetCode(), 0xC0000094u);
    EXPECT_EQ(e.GetDescription(), WIDE("EXCEPTION_INT_DIVIDE_BY_ZERO"));
  }
  RecordingHost writesNull;
  writesNull.onReadData = [] { *g_null = 1; };
  try {
    post_(&writesNull);
    FAIL() << "no exception";
  } catch (ErrObj& e) {
    EXPECT_EQ(e.GetCode(), 0xC0000005u);
    EXPECT_EQ(e.GetDescription(), WIDE("EXCEPTION_ACCESS_VIOLATION"));
    e.Report(0);
  }
  // The translator stays on the thread: a third fault is translated too.
  try {
    post_(&divides);
    FAIL() << "no exception";
  } catch (ErrObj& e) {
    EXPECT_EQ(e.GetCode(), 0xC0000094u);
  }
  const std::string log = ReadFile(platform::NativePath("C:\\runtime.log"));
  EXPECT_TRUE(std::regex_search(
      log, std::regex(R"(\[DbgPlugin\]INFO:Err occur, Code:-1073741819\t\n\tEXCEPTION_ACCESS_VIOLATION\r\n)")))
      << log;
}

}  // namespace
