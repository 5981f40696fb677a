// Machine-wide named events: auto-reset, created signalled, open to all users.
#pragma once

#include <memory>
#include <string>

namespace platform {

// One opening of an event; closed with the object.
class NamedEvent {
 public:
  NamedEvent();
  // Opens the event of that name, creating it signalled when missing;
  // !is_open() when it can be neither opened nor created.
  explicit NamedEvent(const std::string& name);
  ~NamedEvent();
  NamedEvent(NamedEvent&& other) noexcept;
  NamedEvent& operator=(NamedEvent&& other) noexcept;
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  bool is_open() const { return state_ != nullptr; }
  // Waits without a time limit until the event is signalled, and resets it.
  // False when the wait could not be made.
  bool Wait();
  // Signals the event, letting one waiter proceed.
  bool Set();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
