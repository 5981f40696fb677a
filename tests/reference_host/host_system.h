// What the reference host needs of the system it runs on.
#pragma once

#include <string>

namespace reference_host {

// Where the plug-in writes its log on this system.
std::string PluginLogPath();
// Gives the plug-in a machine with one adapter, where the system lets a test.
void PrepareMachine();
// True while a broken pipe would end this process as it ends any host that
// left its signal dispositions alone (always true where there is no such
// signal).
bool BrokenPipeDispositionIsDefault();

}  // namespace reference_host
