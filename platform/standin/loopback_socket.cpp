// What loopback sockets do alike on every system.
#include "platform/standin/loopback_socket.h"

namespace platform {

bool SendAll(Socket socket, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const long n = Send(socket, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
