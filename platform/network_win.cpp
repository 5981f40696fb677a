#include "platform/network.h"

namespace platform {

// Windows Sockets raise no signal for a closed peer; the send just fails.
int SendFlagsWithoutSignal() { return 0; }

}  // namespace platform
