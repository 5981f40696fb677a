// The socket calls a capture peer's connection needs, one file per system.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace service_test {

// Waits for input until `stop` is set; false when stopping.
bool Readable(int fd, const std::atomic<bool>& stop);
// Bytes read, 0 at the end, negative on error.
long Receive(int fd, char* buffer, size_t size);
void SendAll(int fd, const std::string& bytes);
void CloseSocket(int fd);

}  // namespace service_test
