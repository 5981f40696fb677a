// libQuorvilComponent.so as a host loads, registers, uses and unloads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "component/exports.h"
#include "platform/registry.h"
#include "platform/standin/shared_library.h"
#include "tests/component/test_context.h"
#include "tests/common/test_support.h"

namespace {

using component_test::TestContext;
using testing_support::RealPath;
using testing_support::RunProcess;

constexpr const char* kProgId = "Components_R_Us.ComponentX.1";

// With the system's separators, as it gives the registered library's path back.
const std::string kLibrary =
    testing_support::ToSystemSeparators(testing_support::BuildDir() + "/" + COMPONENT_LIBRARY);
const std::string kHost =
    testing_support::ToSystemSeparators(testing_support::BuildDir() + "/" + DROVEMARK_HOST);

// Loads the library as a host does; not loaded, with the reason in `error`.
platform::SharedLibrary Load(std::string* error) { return platform::SharedLibrary(kLibrary, error); }

TEST(ComponentExports, OnlyTheThreeEntryPointsAreExported) {
  std::vector<std::string> exported;
  ASSERT_TRUE(testing_support::ExportedNames(kLibrary, &exported));
  const std::set<std::string> names(exported.begin(), exported.end());
  EXPECT_EQ(names, (std::set<std::string>{"DllCreateInstance", "DllRegisterServer", "DllUnregisterServer"}));
}

class LoadedComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    library_ = Load(&error);
    ASSERT_TRUE(library_.is_loaded()) << error;
    registerServer_ = reinterpret_cast<DllRegisterServerFn>(library_.Symbol("DllRegisterServer"));
    unregisterServer_ = reinterpret_cast<DllRegisterServerFn>(library_.Symbol("DllUnregisterServer"));
    createInstance_ = reinterpret_cast<DllCreateInstanceFn>(library_.Symbol("DllCreateInstance"));
    ASSERT_TRUE(registerServer_ && unregisterServer_ && createInstance_);
  }
  void TearDown() override { library_.Unload(); }

  std::string Root() const { return root_.path(); }
  testing_support::ProcessResult HostList() const {
    testing_support::ProcessResult r = RunProcess({kHost, "list"}, {{"QUORVIL_ROOT", Root()}});
    r.out = testing_support::ProgramText(r.out);
    return r;
  }

  testing_support::TempDir root_;
  testing_support::ScopedRoot scoped_{root_.path()};
  platform::SharedLibrary library_;
  DllRegisterServerFn registerServer_ = nullptr;
  DllRegisterServerFn unregisterServer_ = nullptr;
  DllCreateInstanceFn createInstance_ = nullptr;
};

TEST_F(LoadedComponent, RegisteringRecordsOneClassThatANewProcessListsUntilUnregistered) {
  EXPECT_EQ(registerServer_(), 0);
  const auto classes = CZetLibraryUtils::ListRegisteredClasses();
  ASSERT_EQ(classes.size(), 1u);
  EXPECT_EQ(classes[0].progId, kProgId);
  EXPECT_EQ(classes[0].description, "A plug-in component template");
  EXPECT_EQ(classes[0].flags, 0u);
  EXPECT_EQ(classes[0].library, RealPath(kLibrary));

  auto listed = HostList();
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, std::string(kProgId) + "\tA plug-in component template\tflags 0x0\t" +
                            RealPath(kLibrary) + "\n");

  EXPECT_EQ(unregisterServer_(), 0);
  EXPECT_TRUE(CZetLibraryUtils::ListRegisteredClasses().empty());
  listed = HostList();
  EXPECT_EQ(listed.out, "no classes registered\n");
  EXPECT_EQ(unregisterServer_(), 0);
}

TEST_F(LoadedComponent, RegistryThatRefusesTheKeyMakesRegisteringAnswerEFailAndFreesTheArray) {
  // A value where the host's key should be: no key can be made below it.
  auto drovemark = platform::RegKey::Create("Software\\Drovemark", platform::RegAccess::kAll);
  ASSERT_TRUE(drovemark);
  ASSERT_TRUE(drovemark->SetValue("Classes", platform::kRegSz, "x", 1));
  const std::size_t blocks = ondra::AllocBase::OutstandingBlocks();
  const std::size_t bytes = ondra::AllocBase::OutstandingBytes();
  EXPECT_EQ(static_cast<std::uint32_t>(registerServer_()), 0x80004005u);
  EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
  EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes);
  EXPECT_TRUE(CZetLibraryUtils::ListRegisteredClasses().empty());
}

TEST_F(LoadedComponent, CreatingAProgIdTheHostRejectsAnswersNull) {
  const std::size_t blocks = ondra::AllocBase::OutstandingBlocks();
  EXPECT_EQ(createInstance_("Other.Thing.1"), nullptr);
  EXPECT_EQ(createInstance_("components_r_us.componentx.1"), nullptr);
  EXPECT_EQ(createInstance_(nullptr), nullptr);
  EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
}

TEST_F(LoadedComponent, CreatedInstanceIsTheCountedPartOfAComponentXWithoutRegistration) {
  ondra::DynamicObject* object = createInstance_(kProgId);
  ASSERT_NE(object, nullptr);
  EXPECT_STREQ(object->getClassTag().c_str(), kProgId);
  EXPECT_EQ(object->findAs(ondra::CountedObject::staticClassTag()), static_cast<void*>(object));
  auto* component = static_cast<ondra::ComponentObject*>(object->findAs(ondra::ComponentObject::staticClassTag()));
  ASSERT_NE(component, nullptr);
  TestContext context;
  EXPECT_EQ(component->OnInitialize(&context), 1);
  EXPECT_EQ(context.calls[6], 1);
  EXPECT_EQ(ondra::LeakDetector::AllAlive().size(), 1u);
  EXPECT_EQ(object->release(), 0u);
  EXPECT_TRUE(ondra::LeakDetector::AllAlive().empty());
}

std::size_t DetectorsNamed(const char* name) {
  const auto names = ondra::LeakDetector::DetectorNames();
  return static_cast<std::size_t>(std::count(names.begin(), names.end(), std::string(name)));
}

TEST(ComponentLifecycle, LoadingCreatingManyInstancesAndUnloadingLeavesNothingBehind) {
  const std::size_t blocks = ondra::AllocBase::OutstandingBlocks();
  const std::size_t bytes = ondra::AllocBase::OutstandingBytes();
  ASSERT_EQ(DetectorsNamed(kProgId), 0u);
  for (int round = 0; round < 3; ++round) {
    std::string error;
    platform::SharedLibrary library = Load(&error);
    ASSERT_TRUE(library.is_loaded()) << error;
    EXPECT_TRUE(CZetLibraryUtils::IsClassAvailable(kProgId));
    EXPECT_NE(ondra::Class::findClass(kProgId), nullptr);
    EXPECT_EQ(DetectorsNamed(kProgId), 2u);
    auto create =
        reinterpret_cast<DllCreateInstanceFn>(library.Symbol("DllCreateInstance"));
    ASSERT_NE(create, nullptr);
    std::vector<ondra::DynamicObject*> objects;
    for (int i = 0; i < 100; ++i) {
      ondra::DynamicObject* object = create(kProgId);
      ASSERT_NE(object, nullptr);
      TestContext context;
      auto* component = static_cast<ondra::ComponentObject*>(object->getAs(ondra::ComponentObject::staticClassTag()));
      EXPECT_EQ(component->OnInitialize(&context), 1);
      EXPECT_EQ(component->OnEvent(1, nullptr), 1);
      EXPECT_EQ(object->clone(), nullptr);
      objects.push_back(object);
    }
    EXPECT_EQ(ondra::LeakDetector::AllAlive().size(), 100u);
    for (ondra::DynamicObject* object : objects) object->release();
    EXPECT_TRUE(ondra::LeakDetector::AllAlive().empty());
    ASSERT_TRUE(library.Unload());
    EXPECT_FALSE(CZetLibraryUtils::IsClassAvailable(kProgId));
    EXPECT_EQ(ondra::Class::findClass(kProgId), nullptr);
    EXPECT_EQ(DetectorsNamed(kProgId), 0u);
    EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
    EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes);
  }
}

}  // namespace
