// The workflow host framework stand-in, below the component library.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ondra/ondra.h"
#include "tests/component/test_context.h"

namespace {

using component_test::Narrow;
using component_test::ReportLog;

TEST(HostException, FormatsWithTheWindowsWideRules) {
  const ondra::Exception e(WIDE("%s|%ls|%hs|%S|%x|%X|%08x|%#x|%-4d|%+d|%5.2s|%c|%C|%%|%u|%I64d|%zu"), WIDE("wide"), WIDE("wl"),
                           "narrow", "N", 255u, 255u, 0x1234u, 26u, 7, 3, WIDE("abc"), WIDE('Z'), 'n', 4000000000u,
                           -1099511627776LL, static_cast<std::size_t>(12));
  EXPECT_EQ(Narrow(e.getMessage()), "wide|wl|narrow|N|ff|FF|00001234|0x1a|7   |+3|   ab|Z|n|%|4000000000|-1099511627776|12");
}

TEST(HostException, UnknownConversionKeepsTheRestOfTheFormatAsWritten) {
  const ondra::Exception e(WIDE("%d of 50%q %d"), 1, 2);
  EXPECT_EQ(Narrow(e.getMessage()), "1 of 50%q %d");
  EXPECT_EQ(Narrow(ondra::Exception(WIDE("%ls|%hs"), static_cast<const WideChar*>(nullptr),
                                    static_cast<const char*>(nullptr)).getMessage()),
            "(null)|(null)");
}

TEST(HostException, AppendedMessagesFollowOnNewLinesAndCopiesKeepThem) {
  ondra::Exception e(WIDE("first %d"), 1);
  e.appendMessage(WIDE("%ls: second"), WIDE("Where"));
  const ondra::Exception copy(e);
  EXPECT_EQ(Narrow(copy.getMessage()), "first 1\nWhere: second");
}

TEST(HostException, ReportGoesToTheInstalledReporterOnly) {
  const ondra::Exception e(WIDE("told"));
  e.report();  // without a reporter: nothing happens
  ReportLog reports;
  e.report();
  ASSERT_EQ(reports.messages.size(), 1u);
  EXPECT_EQ(Narrow(reports.messages[0]), "told");
}

TEST(HostMemoryException, IsABadAllocThatHostExceptionHandlersLetThrough) {
  bool asHostException = false;
  bool asBadAlloc = false;
  try {
    try {
      throw ondra::MemoryException(5, 40);
    } catch (const ondra::Exception&) {
      asHostException = true;
    }
  } catch (const std::bad_alloc& e) {
    asBadAlloc = true;
    EXPECT_STREQ(e.what(), "Out of memory: 5 elements of 40 bytes");
  }
  EXPECT_FALSE(asHostException);
  EXPECT_TRUE(asBadAlloc);
}

TEST(HostAllocator, CountsWhatIsTakenAndRefusesPastItsLimit) {
  const std::size_t blocks = ondra::AllocBase::OutstandingBlocks();
  const std::size_t bytes = ondra::AllocBase::OutstandingBytes();
  void* a = ondra::AllocBase::_alloc(100);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks + 1);
  EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes + 100);
  ondra::AllocBase::SetLimit(bytes + 150);
  EXPECT_EQ(ondra::AllocBase::_alloc(51), nullptr);
  void* b = ondra::AllocBase::_alloc(50);
  EXPECT_NE(b, nullptr);
  ondra::AllocBase::SetLimit(0);
  ondra::AllocBase::_free(a);
  ondra::AllocBase::_free(b);
  ondra::AllocBase::_free(nullptr);
  EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
  EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes);
}

TEST(HostLeakDetector, ListsWhatIsAliveInEveryDetectorUntilItGoes) {
  int x = 0, y = 0;
  {
    ondra::LeakDetector first("First", false);
    ondra::LeakDetector unnamed(static_cast<const WideChar*>(nullptr), false);
    unnamed.SetName("Second");
    first.Add(&x, "X");
    unnamed.Add(&y, "Y");
    unnamed.Sub(&x);  // not tracked there: ignored
    EXPECT_EQ(first.Alive(), 1u);
    const auto leaks = ondra::LeakDetector::AllAlive();
    ASSERT_EQ(leaks.size(), 2u);
    EXPECT_EQ(leaks[0].detector, "First");
    EXPECT_EQ(leaks[0].object, "X");
    EXPECT_EQ(leaks[1].detector, "Second");
    EXPECT_EQ(leaks[1].address, &y);
    first.Sub(&x);
    EXPECT_EQ(ondra::LeakDetector::AllAlive().size(), 1u);
  }
  const auto names = ondra::LeakDetector::DetectorNames();
  EXPECT_EQ(std::find(names.begin(), names.end(), "Second"), names.end());
  EXPECT_TRUE(ondra::LeakDetector::AllAlive().empty());
}

const ondra::ClassTagDecl probeTag("Test.Probe.1");

class Probe : public ondra::CountedObject {
 public:
  explicit Probe(int* destroyed) : destroyed_(destroyed) {}
  const ondra::ClassTag& getClassTag() const override { return probeTag; }
  ondra::Object* clone() const override { return nullptr; }
  ondra::Class* getClass() const override { return nullptr; }
  void destroyInstance() override { ++*destroyed_; }
  void onLastRelease() override {}

 private:
  int* destroyed_;
};

TEST(HostCountedObject, ReleasesPastTheLastOneDoNotDestroyAgain) {
  int destroyed = 0;
  Probe probe(&destroyed);
  EXPECT_EQ(probe.addRef(), 2u);
  EXPECT_EQ(probe.release(), 1u);
  EXPECT_EQ(probe.release(), 0u);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(probe.release(), 0u);
  EXPECT_EQ(destroyed, 1);
}

class ProbeClass : public ondra::Class {
 public:
  ProbeClass() { setClass(this); }
  const ondra::ClassTag& getClassTag() const override { return probeTag; }
  ondra::DynamicObject* newInstance() override { return nullptr; }
  void withdraw() { setClass(nullptr); }
};

TEST(HostClassTable, ClassObjectsAreFoundByTagUntilWithdrawnOrDestroyed) {
  {
    ProbeClass cls;
    EXPECT_EQ(ondra::Class::findClass("Test.Probe.1"), &cls);
    EXPECT_EQ(cls.createInstance(), nullptr);
    cls.withdraw();
    EXPECT_EQ(ondra::Class::findClass("Test.Probe.1"), nullptr);
  }
  {
    ProbeClass forgetful;
  }
  EXPECT_EQ(ondra::Class::findClass("Test.Probe.1"), nullptr);
  EXPECT_EQ(ondra::Class::findClass(nullptr), nullptr);
}

TEST(HostFactoryMap, CreatingAClassNobodyOfferedIsRefused) {
  try {
    CZetLibraryUtils::CreateClassInstance("Other.Thing.1");
    FAIL() << "no exception";
  } catch (const ondra::Exception& e) {
    EXPECT_EQ(Narrow(e.getMessage()), "No class is available under the ProgID Other.Thing.1");
  }
  CZetClassInfo info;
  info.progId = "Offered.Without.Class";
  CZetLibraryUtils::PopulateFactoryComponentMap(info);
  try {
    CZetLibraryUtils::CreateClassInstance("Offered.Without.Class");
    FAIL() << "no exception";
  } catch (const ondra::Exception& e) {
    EXPECT_EQ(Narrow(e.getMessage()), "The class Offered.Without.Class has no class object");
  }
  CZetLibraryUtils::ClearFactoryComponentMap();
  EXPECT_FALSE(CZetLibraryUtils::IsClassAvailable("Offered.Without.Class"));
}

}  // namespace
