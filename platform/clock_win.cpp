// Local time and the tick count from the Windows clock.
#include "platform/clock.h"

#include <windows.h>

namespace platform {

LocalTimeOfDay LocalTime() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalTimeOfDay{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint32_t TickCount() { return static_cast<uint32_t>(::GetTickCount()); }

}  // namespace platform
