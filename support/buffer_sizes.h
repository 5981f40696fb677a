// Fixed buffer sizes that several parts share.
#pragma once

#include <cstddef>

// The text buffers the parts hand each other (proxy settings, endpoint URL,
// address list, adapter discovery): a Windows path buffer, 259 characters and
// a zero, counted in the buffer's own units (bytes of narrow text).
constexpr size_t kTextBufferSize = 260;
