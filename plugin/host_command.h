// The agent host's command objects, shared unchanged by host and plug-in:
// the installed interface's own declarations (<quorvil/host_interface.h>,
// plugin/include/quorvil/), named here as the plug-in's code names them.
#pragma once

#include <quorvil/host_interface.h>

#include <type_traits>

#include "platform/wide.h"

using quorvil::AttributeMap;
using quorvil::AttributeSource;
using quorvil::AttributeSourceOf;
using quorvil::CommandContext;
using quorvil::CommandRequest;
using quorvil::HostCommand;

// The strings the host fills are the plug-in's own.
static_assert(std::is_same<quorvil::WideChar, platform::WideChar>::value &&
                  std::is_same<quorvil::WideString, platform::WideString>::value,
              "the host interface's wide text is the platform's");
