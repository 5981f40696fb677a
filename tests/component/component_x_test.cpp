// CComponentX and its class object, created the way the host creates them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "component/library.h"
#include "tests/component/test_context.h"

namespace {

using component_test::AllocLimit;
using component_test::Narrow;
using component_test::ReportLog;
using component_test::TestContext;
using Connect = TestContext::Connect;

constexpr const char* kProgId = "Components_R_Us.ComponentX.1";

class CComponentXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    blocks_ = ondra::AllocBase::OutstandingBlocks();
    object_ = CZetLibraryUtils::CreateClassInstance(kProgId);
    ASSERT_NE(object_, nullptr);
    component_ = static_cast<CComponentX*>(object_->findAs(classTag));
    ASSERT_NE(component_, nullptr);
  }
  void TearDown() override {
    if (object_ != nullptr) {
      EXPECT_EQ(object_->release(), 0u);
    }
    EXPECT_EQ(leakDetector.Alive(), 0u);
    EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks_);
  }

  // OnInitialize's message when the context's operation behaves so.
  std::string InitializeFailure(Connect behaviour) {
    TestContext context(behaviour);
    try {
      component_->OnInitialize(&context);
    } catch (const ondra::Exception& e) {
      EXPECT_EQ(context.calls[6], 1);
      return Narrow(e.getMessage());
    }
    return "no exception";
  }

  std::size_t blocks_ = 0;
  ondra::DynamicObject* object_ = nullptr;
  CComponentX* component_ = nullptr;
};

TEST_F(CComponentXTest, OnInitializeCallsOnlyTheContextsSlotSixOperationAndAnswersOne) {
  for (int answer : {0, 1, -5, 0x7fffffff}) {
    TestContext context(Connect::kReturn, answer);
    EXPECT_EQ(component_->OnInitialize(&context), 1);
    EXPECT_EQ(context.calls, (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
  }
}

TEST_F(CComponentXTest, OnInitializeNamesItselfInAHostExceptionReportsItAndThrowsACopy) {
  ReportLog reports;
  EXPECT_EQ(InitializeFailure(Connect::kThrowHostException),
            "step connect refused\nCComponentX::OnInitialize: Drovemark exception caught");
  ASSERT_EQ(reports.messages.size(), 1u);
  EXPECT_EQ(Narrow(reports.messages[0]), "step connect refused\nCComponentX::OnInitialize: Drovemark exception caught");
}

TEST_F(CComponentXTest, OnInitializeTurnsOtherFailuresIntoItsOwnMessages) {
  ReportLog reports;
  EXPECT_EQ(InitializeFailure(Connect::kThrowBadAlloc), "CComponentX::OnInitialize: Out of memory");
  EXPECT_EQ(InitializeFailure(Connect::kThrowMemoryException), "CComponentX::OnInitialize: Out of memory");
  EXPECT_EQ(InitializeFailure(Connect::kThrowInt), "CComponentX::OnInitialize: Severe error caught");
  EXPECT_EQ(InitializeFailure(Connect::kThrowStd), "CComponentX::OnInitialize: Severe error caught");
  EXPECT_TRUE(reports.messages.empty());
}

TEST_F(CComponentXTest, SecondOperationAnswersOneAndTheOthersDoNothing) {
  int data = 0;
  EXPECT_EQ(component_->OnEvent(0, nullptr), 1);
  EXPECT_EQ(component_->OnEvent(0xffffffffu, &data), 1);
  TestContext context;
  component_->OnShutdown(&context);
  component_->OnIdle();
  component_->onLastRelease();
  EXPECT_EQ(context.calls, std::vector<int>(7, 0));
  EXPECT_EQ(data, 0);
  EXPECT_EQ(object_->referenceCount(), 1u);
}

TEST_F(CComponentXTest, CloneIsRefusedReportedAndGivesItsStorageBack) {
  ReportLog reports;
  const std::size_t blocks = ondra::AllocBase::OutstandingBlocks();
  const std::size_t bytes = ondra::AllocBase::OutstandingBytes();
  EXPECT_EQ(object_->clone(), nullptr);
  EXPECT_EQ(component_->clone(), nullptr);
  EXPECT_EQ(ondra::AllocBase::OutstandingBlocks(), blocks);
  EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes);
  EXPECT_EQ(leakDetector.Alive(), 1u);
  ASSERT_EQ(reports.messages.size(), 2u);
  EXPECT_EQ(Narrow(reports.messages[0]), "Cannot clone CComponentX");
}

TEST_F(CComponentXTest, CloneAndNewInstanceWithoutStorageThrowMemoryExceptionForOneObject) {
  AllocLimit limit(sizeof(CComponentX) - 1);
  for (auto attempt : {+[](CComponentX* c) { c->clone(); }, +[](CComponentX*) { componentClass.newInstance(); }}) {
    try {
      attempt(component_);
      ADD_FAILURE() << "no exception";
    } catch (const ondra::MemoryException& e) {
      EXPECT_EQ(e.count(), 1u);
      EXPECT_EQ(e.elementSize(), sizeof(CComponentX));
    }
  }
}

TEST_F(CComponentXTest, SeekClassIdentityAnswersItselfForItsTagAndDefersOtherwise) {
  const ondra::ClassTagDecl own(kProgId);
  const ondra::ClassTagDecl other("Other.Class.1");
  EXPECT_EQ(component_->_SeekClassIdentity(own), static_cast<void*>(component_));
  auto* base = static_cast<ondra::ComponentObject*>(component_);
  for (const ondra::ClassTag* tag : {&ondra::ComponentObject::staticClassTag(), &ondra::CountedObject::staticClassTag(),
                                     &ondra::Object::staticClassTag(), static_cast<const ondra::ClassTag*>(&other)}) {
    EXPECT_EQ(component_->_SeekClassIdentity(*tag), base->ondra::ComponentObject::_SeekClassIdentity(*tag)) << tag->c_str();
  }
  EXPECT_EQ(component_->_SeekClassIdentity(ondra::CountedObject::staticClassTag()),
            static_cast<void*>(static_cast<ondra::CountedObject*>(component_)));
  EXPECT_EQ(component_->_SeekClassIdentity(other), nullptr);
  EXPECT_TRUE(object_->isA(own));
  EXPECT_FALSE(object_->isA(other));
  try {
    object_->getAs(other);
    ADD_FAILURE() << "no exception";
  } catch (const ondra::Exception& e) {
    EXPECT_EQ(Narrow(e.getMessage()), "Components_R_Us.ComponentX.1 is not a Other.Class.1");
  }
}

TEST_F(CComponentXTest, AnswersItsTagAndClassObject) {
  EXPECT_EQ(&object_->getClassTag(), static_cast<const ondra::ClassTag*>(&classTag));
  EXPECT_EQ(object_->getClass(), &componentClass);
}

TEST_F(CComponentXTest, LeakIsTrackedFromCreationToTheLastRelease) {
  const auto leaks = ondra::LeakDetector::AllAlive();
  ASSERT_EQ(leaks.size(), 1u);
  EXPECT_EQ(leaks[0].detector, kProgId);
  EXPECT_EQ(leaks[0].object, "CComponentX");
  EXPECT_EQ(leaks[0].address, static_cast<const void*>(component_));
  EXPECT_EQ(object_->addRef(), 2u);
  EXPECT_EQ(object_->release(), 1u);
  EXPECT_EQ(leakDetector.Alive(), 1u);
  EXPECT_EQ(object_->release(), 0u);
  object_ = nullptr;
  EXPECT_TRUE(ondra::LeakDetector::AllAlive().empty());
}

// Bytes in memory, for serialize and deserialize.
struct Bytes : ondra::iByteOutputStream, ondra::iByteInputStream {
  virtual ~Bytes() = default;
  void write(const void* data, std::size_t n) override {
    data_.append(static_cast<const char*>(data), n);
  }
  std::size_t read(void* data, std::size_t n) override {
    n = std::min(n, data_.size() - at_);
    std::memcpy(data, data_.data() + at_, n);
    at_ += n;
    return n;
  }
  std::string data_;
  std::size_t at_ = 0;
};

TEST_F(CComponentXTest, SerializedComponentReadsBackOnlyIntoItsOwnClass) {
  Bytes stream;
  object_->serialize(stream);
  EXPECT_EQ(stream.data_, std::string("\x1c\0\0\0", 4) + kProgId);
  object_->deserialize(stream);
  Bytes foreign;
  foreign.data_ = std::string("\x05\0\0\0", 4) + "Other";
  try {
    object_->deserialize(foreign);
    ADD_FAILURE() << "no exception";
  } catch (const ondra::Exception& e) {
    EXPECT_EQ(Narrow(e.getMessage()), "The stream holds Other, not Components_R_Us.ComponentX.1");
  }
  Bytes cut;
  cut.data_ = std::string("\x1c\0\0\0", 4) + "Comp";
  EXPECT_THROW(object_->deserialize(cut), ondra::Exception);
}

TEST(CComponentXClass, NewInstanceTakesOneBlockOfTheObjectsSizeAndHandsOutTheCountedPart) {
  const std::size_t bytes = ondra::AllocBase::OutstandingBytes();
  ondra::DynamicObject* object = componentClass.newInstance();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes + sizeof(CComponentX));
  EXPECT_EQ(object->findAs(ondra::CountedObject::staticClassTag()), static_cast<void*>(object));
  // Not created through the host, so no leak was registered for it.
  EXPECT_EQ(leakDetector.Alive(), 0u);
  object->destroyInstance();
  EXPECT_EQ(ondra::AllocBase::OutstandingBytes(), bytes);
}

}  // namespace
