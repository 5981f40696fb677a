// Local time and the millisecond tick count.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTimeOfDay {
  int year, month, day, hour, minute, second, milliseconds;
};

LocalTimeOfDay LocalTime();

// Milliseconds since boot, as an unsigned 32-bit count that wraps.
uint32_t TickCount();

}  // namespace platform
