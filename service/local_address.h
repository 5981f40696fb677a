// The sender's address list of every request: the proxy flag, then the
// host's IPv4 addresses, as in "0,192.168.0.20,10.0.0.7".
#pragma once

#include "support/buffer_sizes.h"

// Fills `buffer` (kTextBufferSize bytes) with the list, zero-terminated; always 0.
// Addresses that would not fit whole are left out.
int GetLocalAddressList(char* buffer);
