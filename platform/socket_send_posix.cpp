#include "platform/socket_send.h"

#include <sys/socket.h>

namespace platform {

int SendFlagsWithoutSignal() { return MSG_NOSIGNAL; }

}  // namespace platform
