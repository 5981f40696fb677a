#include "platform/files.h"
#include "tests/common/test_support.h"

namespace testing_support {

std::string TerminalIdentity(const std::string& root, const std::string& described) {
  platform::MakeDirectories(root + "/net");
  WriteFile(root + "/net/adapters", "eth0 " + described + "\n");
  return described;
}

}  // namespace testing_support
