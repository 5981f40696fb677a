// ondraCore's leak detectors, listed process-wide so the host can report.
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "ondra/core.h"
#include "text/utf.h"

namespace ondra {

struct LeakDetector::State {
  std::string name;
  bool reportAtDestruction;
  std::map<const void*, std::string> alive;
};

namespace {

// One lock for all detectors: Add and Sub are rare next to the work done.
struct Registry {
  std::mutex lock;
  std::vector<LeakDetector::State*> detectors;
};

// Lives until the library's own finaliser, after every C++ global of the
// process is gone, so detectors destroyed at exit still find it.
Registry* registry = nullptr;

Registry& Detectors() {
  static std::once_flag once;
  std::call_once(once, [] { registry = new Registry; });
  return *registry;
}

__attribute__((destructor)) void FreeRegistry() {
  delete registry;
  registry = nullptr;
}

std::string NarrowName(const WideChar* name) {
  if (name == nullptr) return std::string();
  std::size_t n = 0;
  while (name[n] != 0) ++n;
  return unicode::Utf16ToUtf8(name, n);
}

}  // namespace

LeakDetector::LeakDetector(const char* name, bool reportAtDestruction)
    : state_(new State{name != nullptr ? name : "", reportAtDestruction, {}}) {
  Registry& r = Detectors();
  std::lock_guard<std::mutex> hold(r.lock);
  r.detectors.push_back(state_);
}

LeakDetector::LeakDetector(const WideChar* name, bool reportAtDestruction)
    : LeakDetector(NarrowName(name).c_str(), reportAtDestruction) {}

LeakDetector::~LeakDetector() {
  Registry& r = Detectors();
  {
    std::lock_guard<std::mutex> hold(r.lock);
    for (auto it = r.detectors.begin(); it != r.detectors.end(); ++it) {
      if (*it == state_) {
        r.detectors.erase(it);
        break;
      }
    }
  }
  if (state_->reportAtDestruction) {
    for (const auto& leak : state_->alive) {
      std::fprintf(stderr, "%s: leaked %s at %p\n", state_->name.c_str(), leak.second.c_str(), leak.first);
    }
  }
  delete state_;
}

void LeakDetector::SetName(const char* name) {
  std::lock_guard<std::mutex> hold(Detectors().lock);
  state_->name = name != nullptr ? name : "";
}

std::string LeakDetector::GetName() const {
  std::lock_guard<std::mutex> hold(Detectors().lock);
  return state_->name;
}

void LeakDetector::Add(const void* object, const char* what) {
  std::lock_guard<std::mutex> hold(Detectors().lock);
  state_->alive[object] = what != nullptr ? what : "";
}

void LeakDetector::Sub(const void* object) {
  std::lock_guard<std::mutex> hold(Detectors().lock);
  state_->alive.erase(object);
}

std::size_t LeakDetector::Alive() const {
  std::lock_guard<std::mutex> hold(Detectors().lock);
  return state_->alive.size();
}

std::vector<LeakDetector::Leak> LeakDetector::AllAlive() {
  Registry& r = Detectors();
  std::lock_guard<std::mutex> hold(r.lock);
  std::vector<Leak> leaks;
  for (const State* d : r.detectors) {
    for (const auto& entry : d->alive) leaks.push_back(Leak{d->name, entry.second, entry.first});
  }
  return leaks;
}

std::vector<std::string> LeakDetector::DetectorNames() {
  Registry& r = Detectors();
  std::lock_guard<std::mutex> hold(r.lock);
  std::vector<std::string> names;
  for (const State* d : r.detectors) names.push_back(d->name);
  return names;
}

}  // namespace ondra
