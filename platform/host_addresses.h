// The local host name and its IPv4 addresses (Winsock gethostname and
// gethostbyname).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The host name into `buffer` of `size` bytes, zero-terminated; false when it
// cannot be read or does not fit whole.
bool LocalHostName(char* buffer, size_t size);

// Dotted-decimal IPv4 addresses of the name, in the resolver's order; empty
// when it does not resolve.
std::vector<std::string> ResolveIPv4(const char* name);

}  // namespace platform
