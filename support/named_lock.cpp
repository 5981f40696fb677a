#include "support/named_lock.h"

#include "support/text_conversion.h"

NamedLockHandle OpenNamedLock(const WideString& name) {
  return platform::OpenOrCreateNamedEvent(ToUtf8(name));
}

NamedLockGuard::NamedLockGuard(const WideString& name)
    : handle_(OpenNamedLock(name)), held_(platform::WaitNamedEvent(handle_)) {}

NamedLockGuard::~NamedLockGuard() {
  if (held_) platform::SetNamedEvent(handle_);
  platform::CloseNamedEvent(handle_);
}
