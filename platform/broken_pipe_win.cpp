// Windows has no SIGPIPE: a write to a broken pipe fails and nothing more.
#include "platform/broken_pipe.h"

namespace platform {

BrokenPipeGuard::BrokenPipeGuard() = default;
BrokenPipeGuard::~BrokenPipeGuard() = default;

}  // namespace platform
