// The sender's address list past its fixed size, and host names at and past
// the length it reads, with the host name and the resolver's answer chosen
// through the layer's system-call table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_calls.h"
#include "service/local_address.h"
#include "tests/common/test_support.h"

namespace {

constexpr size_t kListSize = 260;
constexpr size_t kCanary = 64;

// The machine the stand-ins answer for: its name, and the resolver's hosts.
std::string g_hostName;
std::vector<std::pair<std::string, platform::IPv4Address>> g_hosts;

int HostName(char* buffer, size_t size) {
  if (g_hostName.size() >= size) return 1;
  std::memcpy(buffer, g_hostName.c_str(), g_hostName.size() + 1);
  return 0;
}

bool Resolve(const char* name, std::vector<platform::IPv4Address>* addresses) {
  for (const auto& host : g_hosts) {
    if (host.first == name) addresses->push_back(host.second);
  }
  return !addresses->empty();
}

class AddressList : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::systemCalls.hostName = HostName;
    platform::systemCalls.resolveIPv4 = Resolve;
    g_hosts.clear();
  }
  // The list under `name`; `intact` the bytes past its buffer left alone.
  std::string List(const std::string& name, size_t* intact) {
    g_hostName = name;
    char list[kListSize + kCanary];
    std::memset(list, 'x', sizeof list);
    GetLocalAddressList(list);
    *intact = 0;
    while (*intact < kCanary && list[kListSize + *intact] == 'x') ++*intact;
    return std::string(list, strnlen(list, kListSize));
  }
  testing_support::TempDir dir_;
  testing_support::ScopedRoot root_{dir_.path()};
  platform::SystemCallsOverride calls_;
};

TEST_F(AddressList, MoreAddressesThanFitEndAtTheLastWholeAddressWithinTheBuffer) {
  std::string expected = "0";
  for (uint8_t i = 0; i < 30; ++i) {
    const platform::IPv4Address address = {127, 100, 200, static_cast<uint8_t>(100 + i)};
    g_hosts.emplace_back("quorvil-bounds", address);
    const std::string text = "127.100.200." + std::to_string(100 + i);
    if (expected.size() + 1 + text.size() < kListSize) expected += "," + text;
  }
  ASSERT_EQ(expected.size(), 1u + 16u * 16u);  // sixteen addresses fit, the rest do not
  size_t intact = 0;
  EXPECT_EQ(List("quorvil-bounds", &intact), expected);
  EXPECT_EQ(intact, kCanary) << "written past the list's buffer";
}

TEST_F(AddressList, HostNameOfThirtyOneCharactersResolvesAndALongerOneIsNeverCut) {
  const std::string fits(31, 'h');
  g_hosts.emplace_back(fits, platform::IPv4Address{127, 0, 0, 5});
  size_t intact = 0;
  EXPECT_EQ(List(fits, &intact), "0,127.0.0.5");
  // Cut to its first 31 characters, these names would resolve to 127.0.0.5.
  for (const std::string& name : {fits + "h", fits + "-and-more"}) {
    g_hosts.emplace_back(name, platform::IPv4Address{127, 0, 0, 6});
    EXPECT_EQ(List(name, &intact), "0") << name;
    EXPECT_EQ(intact, kCanary);
  }
}

}  // namespace
