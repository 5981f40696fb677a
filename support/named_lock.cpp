#include "support/named_lock.h"

#include "support/text_conversion.h"

platform::NamedEvent OpenNamedLock(const WideString& name) {
  return platform::NamedEvent(ToUtf8(name));
}

NamedLockGuard::NamedLockGuard(const WideString& name)
    : event_(OpenNamedLock(name)), held_(event_.Wait()) {}

NamedLockGuard::~NamedLockGuard() {
  if (held_) event_.Set();
}
