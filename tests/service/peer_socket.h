// The socket calls a loopback peer needs, one file per system. Sockets are
// not inherited by child processes, so that a peer's close is the end of the
// connection for its client.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace service_test {

// A socket listening on `address` (dotted IPv4) at `port`, 0 letting the
// system pick one; -1 when it cannot.
int Listen(const std::string& address, int port);
// The port a socket is bound to.
int BoundPort(int fd);
// The next connection of a listening socket, -1 when none.
int Accept(int listener);
// Wait until input comes, or the socket takes more bytes, until `stop` is
// set; false when stopping.
bool Readable(int fd, const std::atomic<bool>& stop);
bool Writable(int fd, const std::atomic<bool>& stop);
// Bytes read, 0 at the end, negative on error.
long Receive(int fd, char* buffer, size_t size);
// Bytes sent, negative once the client has gone.
long Send(int fd, const char* bytes, size_t size);
void SendAll(int fd, const std::string& bytes);
void CloseSocket(int fd);

}  // namespace service_test
