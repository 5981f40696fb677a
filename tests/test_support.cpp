// Test helpers that need nothing of the system beyond what its own file gives.
#include "tests/test_support.h"

#include <cstdlib>

namespace testing_support {

std::string BuildDir() {
  const char* dir = std::getenv("QUORVIL_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

std::string SourceDir() {
  const char* dir = std::getenv("QUORVIL_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string PluginPath() { return BuildDir() + "/plugin/" + PluginFileName(); }

ScopedRoot::ScopedRoot(const std::string& root) {
  const char* prev = std::getenv("QUORVIL_ROOT");
  hadPrevious_ = prev != nullptr;
  if (hadPrevious_) previous_ = prev;
  SetVariable("QUORVIL_ROOT", root.c_str());
}

ScopedRoot::~ScopedRoot() { SetVariable("QUORVIL_ROOT", hadPrevious_ ? previous_.c_str() : nullptr); }

}  // namespace testing_support
