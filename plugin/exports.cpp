// Entry points of the plug-in; all work is forwarded into the library.
#include "plugin/exports.h"

#include "platform/fault_translator.h"
#include "plugin/quorvil.h"
#include "support/log_module.h"

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
