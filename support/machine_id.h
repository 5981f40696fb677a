// The terminal's identity: the smallest permanent adapter address as 12
// upper-case hexadecimal digits, kept stable across adapter changes by a
// registry map, and cached for the life of the library.
#pragma once

#include "platform/wide.h"

constexpr size_t kMachineIdUnits = 32;

// Copies the identity, zero-terminated, into `buffer` (kMachineIdUnits units);
// empty when none could be found. Always 1.
int GetMachineId(WideChar* buffer);

// One discovery into `buffer` (at least 13 units): 0, or -1 when the adapter
// list is unavailable, leaving the buffer untouched.
int DiscoverMac(WideChar* buffer);
