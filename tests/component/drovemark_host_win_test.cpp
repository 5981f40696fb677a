// drovemark-host.exe with QuorvilComponent.dll on Windows: registration in the
// real registry, instance creation and the component's own messages.
#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace {

using testing_support::ProcessResult;
using testing_support::RunProcess;

constexpr const char* kProgId = "Components_R_Us.ComponentX.1";
// The host writes its standard streams in text mode: lines end in CR LF.

std::string Library() { return testing_support::BuildDir() + "\\component\\QuorvilComponent.dll"; }

ProcessResult Host(const std::vector<std::string>& args) {
  std::vector<std::string> argv{testing_support::BuildDir() + "\\hosts\\workflow\\drovemark-host.exe"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

TEST(DrovemarkHostWin, RegistersListsCreatesAndUnregistersAComponentLibrary) {
  const std::string library = Library();
  ProcessResult r = Host({"register", library});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "DllRegisterServer: 0x00000000 (registered the classes of " + library + ")\r\n");

  // The registered path is the module's own, as GetModuleFileNameW gives it.
  r = Host({"list"});
  EXPECT_EQ(r.out, std::string(kProgId) + "\tA plug-in component template\tflags 0x0\t" + library + "\r\n");

  r = Host({"create", library, kProgId});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "created Components_R_Us.ComponentX.1; OnInitialize answered 1 (context connected 1 time)\r\n"
            "clone refused: Cannot clone CComponentX; released, no leaks\r\n");
  EXPECT_EQ(r.err, "");

  r = Host({"unregister", library});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "DllUnregisterServer: 0x00000000 (unregistered the classes of " + library + ")\r\n");
  EXPECT_EQ(Host({"list"}).out, "no classes registered\r\n");
}

TEST(DrovemarkHostWin, CreatingAnUnknownProgIdFailsAndSaysWhy) {
  const ProcessResult r = Host({"create", Library(), "Other.Thing.1"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "drovemark-host: DllCreateInstance answered null for Other.Thing.1 "
                   "(no class is available under that ProgID)\r\n");
}

TEST(DrovemarkHostWin, LibraryWithoutTheEntryPointIsRefused) {
  const std::string notComponent = testing_support::BuildDir() + "\\plugin\\Quorvil.dll";
  const ProcessResult r = Host({"register", notComponent});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "drovemark-host: " + notComponent + " does not export DllRegisterServer\r\n");
}

}  // namespace
