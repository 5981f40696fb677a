// libQuorvilComponent.so as a host loads, registers, uses and unloads it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <set>
#include <sstream>
#include <string>

#include "component/exports.h"
#include "platform/registry.h"
#include "tests/component/test_context.h"
#include "tests/test_support.h"

namespace {

using component_test::TestContext;
using testing_support::RunProcess;

constexpr const char* kProgId = "Components_R_Us.ComponentX.1";

std::string RealPath(const char* path) {
  char buf[PATH_MAX];
  return ::realpath(path, buf) != nullptr ? std::string(buf) : std::string(path);
}

TEST(ComponentExports, OnlyTheThreeEntryPointsAreExported) {
  const auto nm = RunProcess({"/usr/bin/nm", "-D", "--defined-only", COMPONENT_LIBRARY});
  ASSERT_EQ(nm.exitCode, 0) << nm.err;
  std::set<std::string> names;
  std::istringstream lines(nm.out);
  std::string line;
  while (std::getline(lines, line)) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"DllCreateInstance", "DllRegisterServer", "DllUnregisterServer"}));
}

class LoadedComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = ::dlopen(COMPONENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << ::dlerror();
    registerServer_ = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle_, "DllRegisterServer"));
    unregisterServer_ = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle_, "DllUnregisterServer"));
    createInstance_ = reinterpret_cast<DllCreateInstanceFn>(::dlsym(handle_, "DllCreateInstance"));
    ASSERT_TRUE(registerServer_ && unregisterServer_ && createInstance_);
  }
  void TearDown() override {
    if (handle_ != nullptr) ::dlclose(handle_);
  }

  std::string Root() const { return root_.path(); }
  testing_support::ProcessResult HostList() const {
    return RunProcess({DROVEMARK_HOST, "list"}, {{"QUORVIL_ROOT", Root()}});
  }

  testing_support::TempDir root_;
  testing_support::ScopedRoot scoped_{root_.path()};
  void* handle_ = nullptr;
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
  EXPECT_EQ(classes[0].library, RealPath(COMPONENT_LIBRARY));

  auto listed = HostList();
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, std::string(kProgId) + "\tA plug-in component template\tflags 0x0\t" +
                            RealPath(COMPONENT_LIBRARY) + "\n");

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
    void* handle = ::dlopen(COMPONENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    EXPECT_TRUE(CZetLibraryUtils::IsClassAvailable(kProgId));
    EXPECT_NE(ondra::Class::findClass(kProgId), nullptr);
    EXPECT_EQ(DetectorsNamed(kProgId), 2u);
    auto create = reinterpret_cast<DllCreateInstanceFn>(::dlsym(handle, "DllCreateInstance"));
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
    ASSERT_EQ(::dlclose(handle), 0);
    EXPECT_FALSE(CZetLibraryUtils::IsClassAvailable(kProgId));
    EXPECT_EQ(ondra::Class::findClass(kProgId), nullptr);
    EXPECT_EQ(DetectorsNamed(kProgId), 0u);
    EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
    EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes);
  }
}

}  // namespace
