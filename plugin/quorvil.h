// Module Quorvil: handling of one command from the agent host.
#pragma once

#include "plugin/host_command.h"

// Reads the command through the host's interfaces and handles it. Faults on
// the calling thread leave as ErrObj; nothing is caught here.
void HandleCommand(HostCommand* command);
