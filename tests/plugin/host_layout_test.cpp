// The host interfaces as this target's compiler lays them out: each called
// operation in the slot the host's table gives it, and the stand-in's objects
// with their AttributeSource where the plug-in looks for it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "hosts/agent/host_objects.h"
#include "plugin/host_command.h"

namespace {

// The slot, counted from 1, that a pointer to a virtual member names: in the
// C++ ABI of both targets it holds one plus the byte offset into the table.
template <class Member>
int SlotOf(Member member) {
  struct Representation {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof member == sizeof representation, "pointer to member of the common C++ ABI");
  std::memcpy(&representation, &member, sizeof representation);
  if ((representation.pointer & 1) == 0 || representation.adjustment != 0) return 0;
  return static_cast<int>((representation.pointer - 1) / sizeof(void*)) + 1;
}

TEST(HostContract, EachCalledOperationSitsInItsSlot) {
  EXPECT_EQ(SlotOf(&HostCommand::GetName), 2);
  EXPECT_EQ(SlotOf(&HostCommand::GetContext), 5);
  EXPECT_EQ(SlotOf(&AttributeSource::FillAttributes), 1);
  EXPECT_EQ(SlotOf(&CommandContext::GetRequest), 1);
  EXPECT_EQ(SlotOf(&CommandContext::ReadData), 2);
  EXPECT_EQ(SlotOf(&CommandContext::SetResult), 3);
  EXPECT_EQ(SlotOf(&CommandRequest::GetSoap), 6);
  EXPECT_EQ(SlotOf(&CommandRequest::GetReceivedSoap), 8);
  EXPECT_EQ(SlotOf(&CommandRequest::GetDataSize), 12);
}

class SmallHost final : public HostObjects {
 public:
  void GetName(WideString&) override {}
  CommandContext* GetContext() override { return this; }
  void FillAttributes(AttributeMap& map) override { map[WIDE("k")] = WIDE("v"); }
  CommandRequest* GetRequest() override { return this; }
  void ReadData(unsigned char*, int32_t*) override {}
  void SetResult(const void*, int32_t*) override {}
  struct soap* GetSoap() override { return nullptr; }
  struct soap* GetReceivedSoap() override { return nullptr; }
  int32_t GetDataSize() override { return 0; }
};

TEST(HostContract, HostObjectsKeepTheirAttributeSourceRightAfterTheCommandsTable) {
  SmallHost host;
  HostCommand& command = host;
  EXPECT_EQ(&AttributeSourceOf(command), static_cast<AttributeSource*>(&host));
  AttributeMap map;
  AttributeSourceOf(command).FillAttributes(map);
  EXPECT_EQ(map[WIDE("k")], WIDE("v"));
}

}  // namespace
