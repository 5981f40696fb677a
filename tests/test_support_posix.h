// Child processes of the POSIX test support, beside tests/test_support.h.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// In a forked child: sets `env` over the inherited environment and executes
// `argv` (argv[0] a path); exits 127 when that fails.
[[noreturn]] void ExecChild(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env);

}  // namespace testing_support
