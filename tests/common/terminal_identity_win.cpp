// What the plug-in will find: the same discovery over the same adapters and
// registry map.
#include "support/machine_id.h"
#include "support/text_conversion.h"
#include "tests/common/test_support.h"

namespace testing_support {

std::string TerminalIdentity(const std::string&, const std::string&) {
  WideChar found[260] = {};
  return DiscoverMac(found) == 0 ? ToUtf8(found) : std::string();
}

}  // namespace testing_support
