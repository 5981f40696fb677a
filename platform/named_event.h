// Machine-wide named events: auto-reset, created signalled, open to all users.
#pragma once

#include <string>

namespace platform {

struct NamedEventHandle;  // opaque; one per opening

// Opens the event of that name, creating it signalled when missing. Null when
// it can be neither opened nor created.
NamedEventHandle* OpenOrCreateNamedEvent(const std::string& name);
// Waits without a time limit until the event is signalled, and resets it.
// False when the wait could not be made.
bool WaitNamedEvent(NamedEventHandle* handle);
// Signals the event, letting one waiter proceed.
bool SetNamedEvent(NamedEventHandle* handle);
void CloseNamedEvent(NamedEventHandle* handle);

}  // namespace platform
