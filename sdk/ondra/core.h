// ondraCore: the workflow host's allocator, exceptions and leak detector.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "platform/wide.h"

#define ONDRA_CORE_API __attribute__((visibility("default")))

namespace ondra {

// All memory of host types. Blocks carry their size so the host can tell what
// is still taken.
class ONDRA_CORE_API AllocBase {
 public:
  // Null when the system has no memory or the limit would be passed.
  static void* _alloc(std::size_t bytes);
  static void _free(void* block);

  static std::size_t OutstandingBlocks();
  static std::size_t OutstandingBytes();
  // Caps the bytes held at once by all host-type storage; 0 lifts the cap.
  static void SetLimit(std::size_t bytes);
};

// The host's exception: a wide message built printf-style with the Windows
// wide rules ("%s"/"%ls" wide text, "%hs"/"%S" narrow UTF-8 text).
class ONDRA_CORE_API Exception {
 public:
  explicit Exception(const WideChar* format, ...);
  Exception(const Exception& other);
  Exception& operator=(const Exception& other);

  virtual const WideChar* getMessage() const;
  // Hands the exception to the host's reporter; components call it on every
  // host exception they catch, before passing it on or giving up on it.
  virtual void report() const;
  virtual ~Exception();

  // Adds a line of context below the message.
  void appendMessage(const WideChar* format, ...);

  using Reporter = void (*)(const Exception& e, void* cookie);
  // The process's one reporter; null (the default) makes report() do nothing.
  static void SetReporter(Reporter reporter, void* cookie);

 private:
  WideString message_;
};

// Allocation failure of host types. It is a std::bad_alloc, not an
// ondra::Exception, so code that turns host exceptions into status codes lets
// it through. It carries its text itself: it is thrown when memory is short.
class ONDRA_CORE_API MemoryException : public std::bad_alloc {
 public:
  MemoryException(std::size_t count, std::size_t elementSize) noexcept;
  const char* what() const noexcept override;
  std::size_t count() const noexcept { return count_; }
  std::size_t elementSize() const noexcept { return elementSize_; }

 private:
  std::size_t count_;
  std::size_t elementSize_;
  char text_[96];
};

// Remembers which objects are alive. Every detector of the process can be
// listed, so the host can report leaks of any library it loaded.
class ONDRA_CORE_API LeakDetector {
 public:
  // With reportAtDestruction, objects still alive are written to standard
  // error when the detector goes away.
  LeakDetector(const char* name, bool reportAtDestruction);
  LeakDetector(const WideChar* name, bool reportAtDestruction);
  ~LeakDetector();
  LeakDetector(const LeakDetector&) = delete;
  LeakDetector& operator=(const LeakDetector&) = delete;

  void SetName(const char* name);
  std::string GetName() const;
  void Add(const void* object, const char* what);
  void Sub(const void* object);
  std::size_t Alive() const;

  struct Leak {
    std::string detector;
    std::string object;
    const void* address;
  };
  // Everything alive in every detector, detectors in creation order.
  static std::vector<Leak> AllAlive();
  static std::vector<std::string> DetectorNames();

  struct State;

 private:
  State* state_;
};

}  // namespace ondra
