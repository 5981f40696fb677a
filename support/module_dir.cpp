#include "support/module_dir.h"

#include "platform/module_path.h"

namespace {

constexpr size_t kPathUnits = 1024;

}  // namespace

int GetModuleDir(WideString& folder) {
  const WideString path = platform::ExecutablePath(kPathUnits);
  if (path.empty()) return 0;
  const size_t cut = path.rfind(platform::kPathSeparator);
  folder = cut == WideString::npos ? WideString() : path.substr(0, cut + 1);
  return static_cast<int>(path.size());
}
