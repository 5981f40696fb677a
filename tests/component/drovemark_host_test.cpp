// drovemark-host end to end: each command in a process of its own.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <climits>
#include <string>

#include "tests/test_support.h"

namespace {

using testing_support::ProcessResult;
using testing_support::RunProcess;

const std::string kLibrary = COMPONENT_LIBRARY;
constexpr const char* kProgId = "Components_R_Us.ComponentX.1";

class DrovemarkHost : public ::testing::Test {
 protected:
  ProcessResult Host(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{DROVEMARK_HOST};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, {{"QUORVIL_ROOT", root_.path()}});
  }
  testing_support::TempDir root_;
};

TEST_F(DrovemarkHost, RegistersListsCreatesAndUnregistersAComponentLibrary) {
  ProcessResult r = Host({"register", kLibrary});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "DllRegisterServer: 0x00000000 (registered the classes of " + kLibrary + ")\n");

  char real[PATH_MAX];
  ASSERT_NE(::realpath(kLibrary.c_str(), real), nullptr);
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
  const std::string software = root_.path() + "/registry/HKEY_LOCAL_MACHINE/Software";
  ASSERT_EQ(::mkdir((root_.path() + "/registry").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((root_.path() + "/registry/HKEY_LOCAL_MACHINE").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(software.c_str(), 0755), 0);
  testing_support::WriteFile(software + "/Drovemark", "not a key");
  const ProcessResult r = Host({"register", kLibrary});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "drovemark-host: DllRegisterServer of " + kLibrary + " failed with 0x80004005\n");
}

TEST_F(DrovemarkHost, LibraryThatCannotBeLoadedOrLacksTheEntryPointIsRefused) {
  ProcessResult r = Host({"unregister", "/nonexistent/libNothing.so"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("drovemark-host: cannot load /nonexistent/libNothing.so: ", 0), 0u) << r.err;
  r = Host({"create", ONDRA_CORE_LIBRARY, kProgId});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, std::string("drovemark-host: ") + ONDRA_CORE_LIBRARY + " does not export DllCreateInstance\n");
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
