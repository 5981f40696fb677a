// catch-fault PLUGIN: a host built from <quorvil/host_interface.h> alone whose
// own callback faults (an access violation in GetName) while the plug-in
// handles its command. The fault must reach it as quorvil::ErrObj, caught by
// that type across the boundary. Prints "caught quorvil::ErrObj 0xC0000005
// EXCEPTION_ACCESS_VIOLATION" and exits 0; anything else exits 1.
#include <quorvil/host_interface.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "plugin_loader.h"

namespace {

volatile int* volatile nowhere = nullptr;

class FaultingCommand final : public quorvil::HostCommand, public quorvil::AttributeSource {
 public:
  void CommandSlot1() override { std::abort(); }
  void GetName(quorvil::WideString& name) override {
    name.assign(1, static_cast<quorvil::WideChar>(*nowhere));  // the fault
  }
  void CommandSlot3() override { std::abort(); }
  void CommandSlot4() override { std::abort(); }
  quorvil::CommandContext* GetContext() override { std::abort(); }
  void FillAttributes(quorvil::AttributeMap&) override { std::abort(); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: catch-fault PLUGIN\n");
    return 2;
  }
  const auto postCommand =
      reinterpret_cast<quorvil::PostCommandFunction>(LoadEntryPoint(argv[1], quorvil::kPostCommand));
  if (postCommand == nullptr) return 1;
  FaultingCommand command;
  try {
    postCommand(&command);
  } catch (const quorvil::ErrObj& fault) {
    const quorvil::WideString description = fault.GetDescription();
    std::printf("caught quorvil::ErrObj 0x%08X %s\n", static_cast<unsigned>(fault.GetCode()),
                std::string(description.begin(), description.end()).c_str());
    return 0;
  } catch (...) {
    std::printf("caught something else\n");
    return 1;
  }
  std::printf("no fault left PostCommand\n");
  return 1;
}
