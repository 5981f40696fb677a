// The four host interfaces in one object, laid out as the plug-in looks for
// them: the AttributeSource base right after HostCommand's table pointer.
// Every slot the plug-in never calls aborts; reaching one means the plug-in
// was built against another table.
#pragma once

#include <cstdlib>

#include "plugin/host_command.h"

class HostObjects : public HostCommand,
                    public AttributeSource,
                    public CommandContext,
                    public CommandRequest {
 public:
  void CommandSlot1() final { std::abort(); }
  void CommandSlot3() final { std::abort(); }
  void CommandSlot4() final { std::abort(); }
  void RequestSlot1() final { std::abort(); }
  void RequestSlot2() final { std::abort(); }
  void RequestSlot3() final { std::abort(); }
  void RequestSlot4() final { std::abort(); }
  void RequestSlot5() final { std::abort(); }
  void RequestSlot7() final { std::abort(); }
  void RequestSlot9() final { std::abort(); }
  void RequestSlot10() final { std::abort(); }
  void RequestSlot11() final { std::abort(); }

 protected:
  HostObjects() = default;
  HostObjects(const HostObjects&) = delete;
  HostObjects& operator=(const HostObjects&) = delete;
  ~HostObjects() = default;
};
