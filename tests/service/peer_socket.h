// The socket calls of a loopback peer: the platform's, and waits that end
// when the peer is asked to stop.
#pragma once

#include <atomic>

#include "platform/standin/loopback_socket.h"

namespace service_test {

using platform::Accept;
using platform::BoundPort;
using platform::CloseSocket;
using platform::kNoSocket;
using platform::Listen;
using platform::Receive;
using platform::Send;
using platform::SendAll;
using platform::Socket;

// Wait until input comes, or the socket takes more bytes, until `stop` is
// set; false when stopping.
bool Readable(Socket socket, const std::atomic<bool>& stop);
bool Writable(Socket socket, const std::atomic<bool>& stop);

}  // namespace service_test
