// What the running program knows of itself on every system.
#include "platform/standin/program.h"

#include "platform/module_path.h"
#include "text/utf.h"

namespace platform {

std::string ProgramFolder() {
  // The longest path either system gives back.
  constexpr size_t kMaxPathUnits = 32768;
  const WideString exe = ExecutablePath(kMaxPathUnits);
  const std::string path = unicode::Utf16ToUtf8(exe.data(), exe.size());
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

}  // namespace platform
