// The host's string and array member code as the component library carries it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ondra/ondra.h"
#include "tests/component/test_context.h"

namespace {

using component_test::AllocLimit;
using component_test::Narrow;
using ondra::AllocBase;

TEST(NarrowHostString, FifteenCharactersTakeSixteenBytesAndSixteenTakeThirtyTwo) {
  ondra::BaseString<char> s;
  EXPECT_TRUE(s.isNull());
  EXPECT_EQ(s.c_str(), nullptr);
  s = "123456789012345";
  EXPECT_EQ(s.capacity(), 16u);
  EXPECT_EQ(s.length(), 15);
  s = "1234567890123456";
  EXPECT_EQ(s.capacity(), 32u);
  EXPECT_EQ(s.length(), 16);
  EXPECT_STREQ(s.c_str(), "1234567890123456");
}

TEST(NarrowHostString, EmptyTextTakesTheSmallestBufferAndShorterTextReusesIt) {
  ondra::BaseString<char> s;
  s = "";
  EXPECT_FALSE(s.isNull());
  EXPECT_EQ(s.capacity(), 16u);
  EXPECT_STREQ(s.c_str(), "");
  s = "a text of exactly 40 characters, no more";
  const char* buffer = s.c_str();
  EXPECT_EQ(s.capacity(), 64u);
  s = "x";
  EXPECT_EQ(s.c_str(), buffer);
  EXPECT_EQ(s.capacity(), 64u);
  EXPECT_STREQ(s.c_str(), "x");
  s = s.c_str();
  EXPECT_STREQ(s.c_str(), "x");
}

TEST(NarrowHostString, NullTextGivesTheBufferBackAndMakesTheNullString) {
  const std::size_t blocks = AllocBase::OutstandingBlocks();
  {
    ondra::BaseString<char> s;
    s = "abc";
    EXPECT_EQ(AllocBase::OutstandingBlocks(), blocks + 1);
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.isNull());
    EXPECT_EQ(s.length(), -1);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_EQ(AllocBase::OutstandingBlocks(), blocks);
    s = "again";
  }
  EXPECT_EQ(AllocBase::OutstandingBlocks(), blocks);
}

TEST(NarrowHostString, WideTextIsStoredOneBytePerUnitUpToLatin1) {
  ondra::BaseString<char> s;
  s = WIDE("caf\u00e9");
  EXPECT_EQ(std::string(s.c_str()), std::string("caf\xe9"));
  s = static_cast<const WideChar*>(nullptr);
  EXPECT_TRUE(s.isNull());
}

TEST(NarrowHostString, WideCharacterAboveLatin1IsUnableToConvert) {
  ondra::BaseString<char> s;
  try {
    s = WIDE("A\u0100");
    FAIL() << "no exception";
  } catch (const ondra::Exception& e) {
    EXPECT_EQ(Narrow(e.getMessage()), "Unable to convert character 0x100");
  }
  // What came before the character stays, and the string is still whole.
  EXPECT_STREQ(s.c_str(), "A");
  EXPECT_EQ(s.length(), 1);
}

TEST(NarrowHostString, ReserveGrowsToTheBitLengthKeepsOrCutsAndCanDiscard) {
  ondra::BaseString<char> s;
  s = "abc";
  s.reserve(100);
  EXPECT_EQ(s.capacity(), 128u);
  EXPECT_STREQ(s.c_str(), "abc");
  s.reserve(2);
  EXPECT_EQ(s.capacity(), 128u);
  EXPECT_STREQ(s.c_str(), "ab");
  EXPECT_EQ(s.length(), 2);
  s.reserve(0);
  EXPECT_EQ(s.length(), 0);
  EXPECT_STREQ(s.c_str(), "");
  EXPECT_EQ(s.capacity(), 128u);
  s = "kept";
  s.reserve(200, true);
  EXPECT_EQ(s.capacity(), 256u);
  EXPECT_TRUE(s.isNull());
  // A length the string could not hold is refused before anything is touched.
  EXPECT_THROW(s.reserve(SIZE_MAX), ondra::MemoryException);
  EXPECT_EQ(s.capacity(), 256u);
}

TEST(NarrowHostString, AllocatorRefusalThrowsMemoryExceptionWithTheByteCount) {
  ondra::BaseString<char> s;
  AllocLimit limit(8);
  try {
    s = "abc";
    FAIL() << "no exception";
  } catch (const ondra::MemoryException& e) {
    EXPECT_EQ(e.count(), 16u);
    EXPECT_EQ(e.elementSize(), 1u);
    EXPECT_STREQ(e.what(), "Out of memory: 16 elements of 1 bytes");
  }
  EXPECT_TRUE(s.isNull());
}

CZetClassInfo Record(const char* progId) {
  CZetClassInfo info;
  info.progId = progId;
  info.classDescription = "description";
  info.flags = 7;
  return info;
}

TEST(ClassArray, FirstAppendReachesCapacityFiveAndCopiesTheRecord) {
  ondra::Array<CZetClassInfo> a;
  EXPECT_EQ(a.capacity(), 0u);
  a.append(Record("One.1"));
  EXPECT_EQ(a.count(), 1u);
  EXPECT_EQ(a.capacity(), 5u);
  EXPECT_STREQ(a[0].progId.c_str(), "One.1");
  EXPECT_STREQ(a[0].classDescription.c_str(), "description");
  EXPECT_EQ(a[0].flags, 7);
  // Unused slots hold default records.
  EXPECT_TRUE(a[4].progId.isNull());
}

TEST(ClassArray, GrowsByDoublingAndKeepsItsRecordsInOrder) {
  ondra::Array<CZetClassInfo> a;
  for (int i = 0; i < 11; ++i) {
    a.append(Record(("C." + std::to_string(i)).c_str()));
    EXPECT_EQ(a.capacity(), i < 5 ? 5u : i < 10 ? 10u : 20u);
  }
  for (int i = 0; i < 11; ++i) EXPECT_EQ(std::string(a[static_cast<std::size_t>(i)].progId.c_str()), "C." + std::to_string(i));
  a.reserve(41);
  EXPECT_EQ(a.capacity(), 80u);
  EXPECT_STREQ(a[10].progId.c_str(), "C.10");
}

TEST(ClassArray, AppendingOneOfItsOwnRecordsWhileGrowingCopiesItFirst) {
  ondra::Array<CZetClassInfo> a;
  for (int i = 0; i < 5; ++i) a.append(Record("Same.1"));
  a[0].progId = "First.1";
  a.append(a[0]);
  EXPECT_EQ(a.capacity(), 10u);
  EXPECT_STREQ(a[5].progId.c_str(), "First.1");
}

TEST(ClassArray, ClearGivesEveryBlockBack) {
  const std::size_t blocks = AllocBase::OutstandingBlocks();
  ondra::Array<CZetClassInfo> a;
  for (int i = 0; i < 3; ++i) a.append(Record("C.1"));
  EXPECT_GT(AllocBase::OutstandingBlocks(), blocks);
  a.clear();
  EXPECT_EQ(a.count(), 0u);
  EXPECT_EQ(a.capacity(), 0u);
  EXPECT_EQ(AllocBase::OutstandingBlocks(), blocks);
}

TEST(ClassArray, RefusedBlockThrowsMemoryExceptionAndLeavesTheArrayAsItWas) {
  ondra::Array<CZetClassInfo> a;
  for (int i = 0; i < 5; ++i) a.append(Record("Kept.1"));
  const CZetClassInfo extra = Record("Extra.1");
  const std::size_t blocks = AllocBase::OutstandingBlocks();
  {
    AllocLimit limit(16);
    try {
      a.append(extra);
      FAIL() << "no exception";
    } catch (const ondra::MemoryException& e) {
      EXPECT_EQ(e.count(), 10u);
      EXPECT_EQ(e.elementSize(), sizeof(CZetClassInfo));
    }
  }
  EXPECT_EQ(a.count(), 5u);
  EXPECT_EQ(a.capacity(), 5u);
  EXPECT_STREQ(a[4].progId.c_str(), "Kept.1");
  EXPECT_EQ(AllocBase::OutstandingBlocks(), blocks);
}

TEST(ClassArray, SizeThatCannotBeAskedForIsRefusedWithoutAllocating) {
  ondra::Array<CZetClassInfo> a;
  const std::size_t bytes = AllocBase::OutstandingBytes();
  try {
    a.reserve(SIZE_MAX);
    FAIL() << "no exception";
  } catch (const ondra::MemoryException& e) {
    EXPECT_EQ(e.count(), SIZE_MAX);
    EXPECT_EQ(e.elementSize(), sizeof(CZetClassInfo));
  }
  EXPECT_EQ(a.capacity(), 0u);
  EXPECT_EQ(AllocBase::OutstandingBytes(), bytes);
}

}  // namespace
