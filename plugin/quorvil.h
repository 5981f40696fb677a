// Module Quorvil: handling of one command from the agent host.
#pragma once

#include <cstdint>

#include "plugin/host_command.h"
#include "plugin/template_read.h"  // DecodeQuotedPrintable

// Reads the command through the host's interfaces and handles TemplateConfig.
// Faults on the calling thread leave as ErrObj; nothing is caught here.
void HandleCommand(HostCommand* command);
