// Machine-wide locks over named events: open, wait, work, set, close.
#pragma once

#include "platform/named_event.h"
#include "platform/wide.h"

// Opens the event of that name, or creates it signalled; not open when
// neither works.
platform::NamedEvent OpenNamedLock(const WideString& name);

// Holds the named lock for its lifetime. When the event cannot be opened the
// guarded work runs unguarded, as the callers always did; `held()` says which.
class NamedLockGuard {
 public:
  explicit NamedLockGuard(const WideString& name);
  ~NamedLockGuard();
  NamedLockGuard(const NamedLockGuard&) = delete;
  NamedLockGuard& operator=(const NamedLockGuard&) = delete;

  bool held() const { return held_; }

 private:
  platform::NamedEvent event_;
  bool held_;
};
