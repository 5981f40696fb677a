// Machine-wide named events: kernel event objects with a null DACL.
#include "platform/named_event.h"

#include <windows.h>

#include "platform/utf.h"

namespace platform {

struct NamedEventHandle {
  HANDLE event;
};

// Unlike the lock files of the POSIX layer, an event taken by a process that
// dies stays taken, as it does for the Windows agent.
NamedEventHandle* OpenOrCreateNamedEvent(const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return nullptr;
  const WideString wide = Utf8ToUtf16(name.data(), name.size());
  const auto* wname = wide.c_str();
  HANDLE event = ::OpenEventW(EVENT_ALL_ACCESS, FALSE, wname);
  if (event == nullptr) {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // open to all users
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};  // inheritable
    event = ::CreateEventW(&attributes, FALSE, TRUE, wname);  // auto-reset, signalled
  }
  if (event == nullptr) return nullptr;
  return new NamedEventHandle{event};
}

bool WaitNamedEvent(NamedEventHandle* handle) {
  return handle != nullptr && ::WaitForSingleObject(handle->event, INFINITE) == WAIT_OBJECT_0;
}

bool SetNamedEvent(NamedEventHandle* handle) {
  return handle != nullptr && ::SetEvent(handle->event) != 0;
}

void CloseNamedEvent(NamedEventHandle* handle) {
  if (handle == nullptr) return;
  ::CloseHandle(handle->event);
  delete handle;
}

}  // namespace platform
