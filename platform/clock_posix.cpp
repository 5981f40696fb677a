#include "platform/clock.h"

#include <sys/time.h>
#include <time.h>

namespace platform {

LocalTimeOfDay LocalTime() {
  struct timeval tv {};
  ::gettimeofday(&tv, nullptr);
  struct tm tm {};
  time_t secs = tv.tv_sec;
  ::localtime_r(&secs, &tm);
  return LocalTimeOfDay{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                        tm.tm_min,         tm.tm_sec,     static_cast<int>(tv.tv_usec / 1000)};
}

uint32_t TickCount() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_BOOTTIME, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                      static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace platform
