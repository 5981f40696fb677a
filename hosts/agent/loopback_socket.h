// The socket calls posting a request to a serving agent needs, one file per
// system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace loopback_socket {

using Handle = intptr_t;
constexpr Handle kNoSocket = -1;

// A stream connected to an IPv4 or IPv6 literal and port, or kNoSocket with
// the reason in `error`, `what` leading it.
Handle Connect(const std::string& host, int port, const std::string& what, std::string* error);
// False when the peer stopped taking bytes before all were sent.
bool SendAll(Handle socket, const std::string& bytes);
// Tells the peer the request is whole; reading goes on.
void FinishSending(Handle socket);
// Positive when input waits, 0 after `timeoutMs`, negative on failure.
int WaitReadable(Handle socket, int timeoutMs);
// Bytes read, 0 at the end of the stream, negative on failure.
long Receive(Handle socket, char* buffer, size_t size);
void Close(Handle socket);
// The system's text for a socket error code (errno, or Winsock's codes).
std::string ErrorText(int code);
// `what` and the system's reason for the last failed call.
std::string Failure(const std::string& what);

}  // namespace loopback_socket
