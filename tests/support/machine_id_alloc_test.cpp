// Identity discovery when memory runs out: this program's allocations fail
// from a chosen one on, for every point of a discovery in turn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "support/machine_id.h"
#include "support/text_conversion.h"
#include "tests/common/replaced_new.h"
#include "tests/common/test_support.h"

namespace {

long g_allowed = -1;  // allocations still granted; -1: no limit
long g_refused = 0;

}  // namespace

void* TestAllocation(std::size_t size) {
  if (g_allowed == 0) {
    ++g_refused;
    throw std::bad_alloc();
  }
  if (g_allowed > 0) --g_allowed;
  return replaced_new::Granted(size);
}

namespace {

TEST(MachineIdOutOfMemory, DiscoveryFailsWholeAndTheNextCallTriesAgain) {
  testing_support::TempDir dir;
  testing_support::ScopedRoot root(dir.path());
  const std::string expected = testing_support::TerminalIdentity(dir.path(), "001A2B000001");
  for (long n = 0;; ++n) {
    WideChar buffer[260] = WIDE("untouched");
    g_refused = 0;
    g_allowed = n;
    const int result = DiscoverMac(buffer);
    g_allowed = -1;
    EXPECT_EQ(ToUtf8(buffer), result == 0 ? expected : "untouched") << "allocation " << n;
    if (g_refused == 0) {
      EXPECT_EQ(result == 0, !expected.empty());
      break;
    }
    EXPECT_EQ(result, -1) << "allocation " << n;
    ASSERT_LT(n, 100000);
  }
  WideChar id[kMachineIdUnits] = WIDE("untouched");
  g_allowed = 0;
  EXPECT_EQ(GetMachineId(id), 1);
  g_allowed = -1;
  EXPECT_EQ(WideString(id), WIDE(""));
  GetMachineId(id);
  EXPECT_EQ(ToUtf8(id), expected);
}

}  // namespace
