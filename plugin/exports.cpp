// Entry points of the plug-in; all work is forwarded into the library.
#include "plugin/exports.h"

#include <type_traits>

#include "platform/fault_translator.h"
#include "plugin/quorvil.h"
#include "support/log_module.h"

// The entry points are what the installed interface says a host resolves.
static_assert(std::is_same<decltype(&InitModule), quorvil::EntryPoint>::value &&
                  std::is_same<decltype(&UninitModule), quorvil::EntryPoint>::value &&
                  std::is_same<decltype(&GetInfo), quorvil::EntryPoint>::value &&
                  std::is_same<decltype(&RunTimeRoutine), quorvil::EntryPoint>::value &&
                  std::is_same<decltype(&GetPluginVersion), quorvil::EntryPoint>::value &&
                  std::is_same<decltype(&SetDbg), quorvil::EntryPoint>::value &&
                  std::is_same<decltype(&PostCommand), quorvil::PostCommandFunction>::value,
              "the entry points' types are the host interface's");

int InitModule() {
  mainLog.Print(WIDE("Quorvil InitModule()"));
  return 0;
}

int UninitModule() {
  mainLog.Print(WIDE("Quorvil UninitModule()"));
  return 0;
}

int GetInfo() {
  mainLog.Print(WIDE("Quorvil GetInfo()"));
  return 0;
}

int RunTimeRoutine() {
  mainLog.Print(WIDE("Quorvil RunTimeRoutine()"));
  return 0;
}

int GetPluginVersion() {
  mainLog.Print(WIDE("Quorvil GetVersion()"));
  return 0;
}

int SetDbg() { return 0; }

int PostCommand(HostCommand* command) {
  // Faults from here on, in the host's callbacks too, reach the host as ErrObj.
  platform::FaultScope commandRunning;
  HandleCommand(command);
  return 0;
}
