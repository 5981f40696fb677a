// The process on Windows: its clock, OutputDebugStringW, FormatMessageW.
#include "platform/process.h"

#include <windows.h>

namespace platform {

LocalTimeOfDay LocalTime() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalTimeOfDay{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint32_t TickCount() { return static_cast<uint32_t>(::GetTickCount()); }

void DebugOutput(const WideString& text) { ::OutputDebugStringW(text.c_str()); }

bool SystemMessage(uint32_t code, WideString* text) {
  wchar_t* buffer = nullptr;
  // FORMAT_MESSAGE_IGNORE_INSERTS beyond the two flags: a system text with
  // inserts ("%1") would otherwise be filled from arguments that do not exist.
  // Language 0 keeps Windows' own choice and fallback of the language.
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || buffer == nullptr) return false;
  text->assign(buffer, n);
  ::LocalFree(buffer);
  return true;
}

// Windows has no SIGPIPE: a write to a broken pipe fails and nothing more.
BrokenPipeGuard::BrokenPipeGuard() = default;
BrokenPipeGuard::~BrokenPipeGuard() = default;

}  // namespace platform
