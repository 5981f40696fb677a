// The component library's globals, start-up and class array, in-process.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "component/library.h"
#include "platform/module_path.h"
#include "tests/component/test_context.h"
#include "text/utf.h"

// The test program links the library's code and so plays the loaded library.
namespace {

using component_test::AllocLimit;
using component_test::Narrow;

constexpr const char* kProgId = "Components_R_Us.ComponentX.1";

// The program's own path, asked of the system in the other way it knows.
std::string OwnPath() {
  constexpr size_t kMaxPathUnits = 260;
  const WideString path = platform::ExecutablePath(kMaxPathUnits);
  return unicode::Utf16ToUtf8(path.data(), path.size());
}

TEST(ComponentLibrary, LoadBuildsTheGlobalsAndAttachOffersTheClassToTheHost) {
  EXPECT_TRUE(libraryInitialized);
  EXPECT_STREQ(classTag.c_str(), kProgId);
  EXPECT_EQ(std::string(libraryIdentifier.c_str()), OwnPath());
  EXPECT_TRUE(CZetLibraryUtils::IsClassAvailable(kProgId));
  EXPECT_EQ(ondra::Class::findClass(kProgId), &componentClass);
  EXPECT_TRUE(componentClass.getClassTag() == classTag);
  EXPECT_STREQ(componentClass.getPoolDebugInfo(), "no pool");
  const auto names = ondra::LeakDetector::DetectorNames();
  // The instances' detector and the class object's tracker carry the ProgID.
  EXPECT_EQ(std::count(names.begin(), names.end(), std::string(kProgId)), 2);
  EXPECT_EQ(leakDetector.GetName(), kProgId);
}

TEST(ComponentLibrary, BuildClassArrayMakesExactlyOneRecordForCComponentX) {
  ondra::Array<CZetClassInfo> classes;
  CZetClassInfo stale;
  stale.progId = "Stale.1";
  classes.append(stale);
  classes.append(stale);
  BuildClassArray(classes);
  ASSERT_EQ(classes.count(), 1u);
  EXPECT_EQ(classes.capacity(), 5u);
  EXPECT_STREQ(classes[0].progId.c_str(), kProgId);
  EXPECT_STREQ(classes[0].classDescription.c_str(), "A plug-in component template");
  EXPECT_EQ(classes[0].flags, 0);
}

TEST(ComponentLibrary, BuildClassArrayTurnsAnAllocatorRefusalIntoOutOfMemory) {
  const std::size_t blocks = ondra::AllocBase::OutstandingBlocks();
  {
    ondra::Array<CZetClassInfo> classes;
    AllocLimit limit(48);
    try {
      BuildClassArray(classes);
      FAIL() << "no exception";
    } catch (const ondra::Exception& e) {
      EXPECT_EQ(Narrow(e.getMessage()), "BuildClassArray: Out of memory");
    }
  }
  EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
}

TEST(ComponentLibrary, StartUpWithoutAModuleKeepsTheIdentifierAndOffersTheClassAgain) {
  const std::string before = libraryIdentifier.c_str();
  CZetLibraryUtils::ClearFactoryComponentMap();
  EXPECT_FALSE(CZetLibraryUtils::IsClassAvailable(kProgId));
  InitializeLibrary(nullptr);
  EXPECT_TRUE(CZetLibraryUtils::IsClassAvailable(kProgId));
  EXPECT_EQ(std::string(libraryIdentifier.c_str()), before);
}

}  // namespace
