// The seven entry points of the Quorvil plug-in, looked up by name; their
// types and names for a host are those of <quorvil/host_interface.h>
// (quorvil::EntryPoint, quorvil::PostCommandFunction, quorvil::kPostCommand).
#pragma once

#include "plugin/host_command.h"

#define QUORVIL_EXPORT extern "C" __attribute__((visibility("default")))

QUORVIL_EXPORT int InitModule();
QUORVIL_EXPORT int UninitModule();
QUORVIL_EXPORT int GetInfo();
QUORVIL_EXPORT int RunTimeRoutine();
QUORVIL_EXPORT int GetPluginVersion();
QUORVIL_EXPORT int SetDbg();
// Answers 0 on every path that returns; the outcome goes through SetResult.
QUORVIL_EXPORT int PostCommand(HostCommand* command);

// Signatures as the host resolves them.
using QuorvilEntryPoint = quorvil::EntryPoint;
using QuorvilPostCommand = quorvil::PostCommandFunction;
