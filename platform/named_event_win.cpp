// Machine-wide named events: kernel event objects with a null DACL.
#include <windows.h>

#include <memory>

#include "platform/named_event.h"
#include "text/utf.h"

namespace platform {

struct NamedEvent::State {
  explicit State(HANDLE e) : event(e) {}
  ~State() { ::CloseHandle(event); }
  HANDLE event;
};

// Unlike the lock files of the POSIX layer, an event taken by a process that
// dies stays taken, as it does for the Windows agent.
NamedEvent::NamedEvent(const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return;
  const WideString wide = unicode::Utf8ToUtf16(name.data(), name.size());
  const auto* wname = wide.c_str();
  HANDLE event = ::OpenEventW(EVENT_ALL_ACCESS, FALSE, wname);
  if (event == nullptr) {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // open to all users
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};  // inheritable
    event = ::CreateEventW(&attributes, FALSE, TRUE, wname);  // auto-reset, signalled
  }
  if (event == nullptr) return;
  state_ = std::make_unique<State>(event);
}

NamedEvent::NamedEvent() = default;
NamedEvent::~NamedEvent() = default;

NamedEvent::NamedEvent(NamedEvent&&) noexcept = default;
NamedEvent& NamedEvent::operator=(NamedEvent&&) noexcept = default;

bool NamedEvent::Wait() {
  return state_ != nullptr && ::WaitForSingleObject(state_->event, INFINITE) == WAIT_OBJECT_0;
}

bool NamedEvent::Set() { return state_ != nullptr && ::SetEvent(state_->event) != 0; }

}  // namespace platform
