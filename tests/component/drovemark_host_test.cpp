// drovemark-host end to end: each command in a process of its own.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::ProcessResult;
using testing_support::RunProcess;

using testing_support::BuildDir;
using testing_support::ToSystemSeparators;

// With the system's separators, as it gives the registered library's path back.
const std::string kLibrary = ToSystemSeparators(BuildDir() + "/" + COMPONENT_LIBRARY);
const std::string kHost = ToSystemSeparators(BuildDir() + "/" + DROVEMARK_HOST);
const std::string kOndraCore = ToSystemSeparators(BuildDir() + "/" + ONDRA_CORE_LIBRARY);
const std::string kMissingLibrary =
    ToSystemSeparators("/nonexistent/Nothing" + testing_support::LibrarySuffix());
constexpr const char* kProgId = "Components_R_Us.ComponentX.1";

class DrovemarkHost : public ::testing::Test {
 protected:
  ProcessResult Host(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{kHost};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = RunProcess(argv, {{"QUORVIL_ROOT", root_.path()}});
    r.out = testing_support::ProgramText(r.out);
    r.err = testing_support::ProgramText(r.err);
    return r;
  }
  testing_support::TempDir root_;
};

TEST_F(DrovemarkHost, RegistersListsCreatesAndUnregistersAComponentLibrary) {
  ProcessResult r = Host({"register", kLibrary});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "DllRegisterServer: 0x00000000 (registered the classes of " + kLibrary + ")\n");

  const std::string real = testing_support::RealPath(kLibrary);
  r = Host({"list"});
  EXPECT_EQ(r.out, std::string(kProgId) + "\tA plug-in component template\tflags 0x0\t" + real + "\n");

  r = Host({"create", kLibrary, kProgId});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "created Components_R_Us.ComponentX.1; OnInitialize answered 1 (context connected 1 time)\n"
            "clone refused: Cannot clone CComponentX; released, no leaks\n");
  EXPECT_EQ(r.err, "");

  r = Host({"unregister", kLibrary});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "DllUnregisterServer: 0x00000000 (unregistered the classes of " + kLibrary + ")\n");
  EXPECT_EQ(Host({"list"}).out, "no classes registered\n");
}

TEST_F(DrovemarkHost, CreatingAnUnknownProgIdFailsAndSaysWhy) {
  const ProcessResult r = Host({"create", kLibrary, "Other.Thing.1"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "drovemark-host: DllCreateInstance answered null for Other.Thing.1 "
                   "(no class is available under that ProgID)\n");
}

TEST_F(DrovemarkHost, RegisteringFailsWithEFailWhenTheRegistryRefuses) {
  // A value where the host's key should be: no key can be made below it.
  {
    testing_support::ScopedRoot machine(root_.path());
    auto software = platform::RegKey::Create("Software", platform::RegAccess::kAll);
    ASSERT_TRUE(software);
    ASSERT_TRUE(software->SetValue("Drovemark", platform::kRegSz, "not a key", 9));
  }
  const ProcessResult r = Host({"register", kLibrary});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "drovemark-host: DllRegisterServer of " + kLibrary + " failed with 0x80004005\n");
}

TEST_F(DrovemarkHost, LibraryThatCannotBeLoadedOrLacksTheEntryPointIsRefused) {
  ProcessResult r = Host({"unregister", kMissingLibrary});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("drovemark-host: cannot load " + kMissingLibrary + ": ", 0), 0u) << r.err;
  r = Host({"create", kOndraCore, kProgId});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "drovemark-host: " + kOndraCore + " does not export DllCreateInstance\n");
}

TEST_F(DrovemarkHost, MissingOrUnknownCommandPrintsUsageAndExitsTwo) {
  ProcessResult r = Host({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("drovemark-host: no command given\nusage: drovemark-host COMMAND\n", 0), 0u) << r.err;
  r = Host({"create", kLibrary});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("drovemark-host: unknown command or wrong arguments: create\nusage:", 0), 0u) << r.err;
  r = Host({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("  list                list the classes registered on this machine\n"), std::string::npos);
}

}  // namespace
