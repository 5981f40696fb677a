// Flags for every send on a socket of the plug-in's own.
#pragma once

namespace platform {

// A peer that closes early must fail the send, not raise a signal in the
// host's process: the plug-in never touches the host's signal dispositions.
int SendFlagsWithoutSignal();

}  // namespace platform
