// Stream sockets on loopback addresses for the stand-in hosts and the tests:
// connecting, listening, and the waits and sends around them. The plug-in's
// own sockets belong to the gSOAP runtime, not to this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A socket as the operations below take it, borrowed: one of OwnedSocket's,
// or one the gSOAP runtime owns. Pointer-sized: a Winsock SOCKET is 64 bits
// in a 64-bit build.
using Socket = intptr_t;
constexpr Socket kNoSocket = -1;

// A socket made here, closed with the object. Sockets made here are not
// inherited by child processes, so that closing one is the end of the
// connection for its peer, whatever the children do.
class OwnedSocket {
 public:
  OwnedSocket() = default;
  explicit OwnedSocket(Socket socket) : socket_(socket) {}
  ~OwnedSocket() { Close(); }
  OwnedSocket(OwnedSocket&& other) noexcept : socket_(other.socket_) { other.socket_ = kNoSocket; }
  OwnedSocket& operator=(OwnedSocket&& other) noexcept {
    if (this != &other) {
      Close();
      socket_ = other.socket_;
      other.socket_ = kNoSocket;
    }
    return *this;
  }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;

  bool is_open() const { return socket_ != kNoSocket; }
  Socket get() const { return socket_; }
  void Close();

 private:
  Socket socket_ = kNoSocket;
};

// A stream connected to an IPv4 or IPv6 literal and port, or none with the
// reason in `error`, `what` leading it.
OwnedSocket Connect(const std::string& host, int port, const std::string& what, std::string* error);
// A socket listening on a dotted IPv4 `address` at `port` (0: the system
// picks), which binds again past its predecessor's closed connections but
// never shares a port with a live listener; none when it cannot.
OwnedSocket Listen(const std::string& address, int port);
// The port a socket is bound to, 0 when unknown.
int BoundPort(Socket socket);
// The next connection of a listening socket, none on failure.
OwnedSocket Accept(Socket listener);

// Bytes sent, negative once the peer has gone; never raises a signal.
long Send(Socket socket, const char* bytes, size_t size);
// False when the peer stopped taking bytes before all were sent.
bool SendAll(Socket socket, const std::string& bytes);
// Tells the peer the request is whole; reading goes on.
void FinishSending(Socket socket);
// Ends both directions: wakes a thread blocked in accept() on it. Safe to call
// from a signal handler.
void Shutdown(Socket socket);
// Positive when input (or room to send) waits, 0 after `timeoutMs`,
// negative on failure. Interrupted waits are resumed.
int WaitReadable(Socket socket, int timeoutMs);
int WaitWritable(Socket socket, int timeoutMs);
// Bytes read, 0 at the end of the stream, negative on failure.
long Receive(Socket socket, char* buffer, size_t size);

// The bind flags of a server's listening socket. POSIX servers take
// SO_REUSEADDR to bind again past their predecessor's closed connections;
// on Windows that option would let a second server share a port already
// listened on, so there the bind is exclusive.
int ServerBindFlags();
// The system's text for a socket error code (errno, or Winsock's codes).
std::string SocketErrorText(int code);
// `what` and the system's reason for the last failed call.
std::string SocketFailure(const std::string& what);
// The socket error code of an address already in use.
int AddressInUseError();

}  // namespace platform
