#include <sys/socket.h>

#include "platform/network.h"

namespace platform {

int SendFlagsWithoutSignal() { return MSG_NOSIGNAL; }

}  // namespace platform
