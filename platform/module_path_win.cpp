// Module paths from GetModuleFileNameW.
#include "platform/module_path.h"

#include <windows.h>

#include <vector>

namespace platform {

WideString ExecutablePath(size_t maxUnits) {
  if (maxUnits == 0 || maxUnits > 32768) maxUnits = 32768;
  std::vector<wchar_t> buf(maxUnits, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  // A path that fills the buffer was cut short.
  if (n == 0 || n >= buf.size()) return WideString();
  return WideString(buf.data(), n);
}

WideString ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return WideString();
  }
  std::vector<wchar_t> buf(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return WideString();
  return WideString(buf.data(), n);
}

}  // namespace platform
