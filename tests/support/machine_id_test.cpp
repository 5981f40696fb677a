#include "support/machine_id.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/network.h"
#include "platform/registry.h"
#include "support/text_conversion.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

const char kMapKey[] = "Software\\Korvane\\Brem2009";

class MachineId : public ::testing::Test {
 protected:
  MachineId() : root_(dir_.path()) { platform::MakeDirectories(dir_.path() + "/net"); }
  // Windows' registry outlives each test: every one starts without the map.
  void SetUp() override { ASSERT_TRUE(platform::RegKey::Delete(kMapKey)); }
  void TearDown() override { platform::RegKey::Delete(kMapKey); }
  std::string MapValue(const std::string& name) {
    auto key = platform::RegKey::Open(kMapKey, platform::RegAccess::kQueryValue);
    std::vector<uint8_t> data;
    if (key == nullptr || !key->QueryValue(name, &data)) return "";
    return std::string(data.begin(), data.end());
  }
  void MapEntry(const std::string& name, const std::string& bytes) {
    auto key = platform::RegKey::Create(kMapKey, platform::RegAccess::kAll);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue(name, platform::kRegBinary, bytes.data(), bytes.size()));
  }
  void Adapters(const std::string& lines) { WriteFile(dir_.path() + "/net/adapters", lines); }
  std::string Discover() {
    WideChar buffer[260] = {};
    EXPECT_EQ(DiscoverMac(buffer), 0);
    return ToUtf8(buffer);
  }
  testing_support::TempDir dir_;
  testing_support::ScopedRoot root_;
};

TEST_F(MachineId, SmallestAddressWinsAndTheOtherIsMappedToIt) {
  Adapters("eth0 001A2B000002\neth1 001A2B000001\n");
  EXPECT_EQ(Discover(), "001A2B000001");
  EXPECT_EQ(MapValue("001A2B000002"), std::string("\x00\x1A\x2B\x00\x00\x01", 6));
  // Later, with only the first adapter left, the map keeps the identity.
  Adapters("eth0 001A2B000002\n");
  EXPECT_EQ(Discover(), "001A2B000001");
}

TEST_F(MachineId, TwoAdaptersWithOneAddressMapTheIdentityToItself) {
  Adapters("eth0 00AABBCCDDEE\neth1 00AABBCCDDEE\n");
  EXPECT_EQ(Discover(), "00AABBCCDDEE");
  EXPECT_EQ(MapValue("00AABBCCDDEE"), std::string("\x00\xAA\xBB\xCC\xDD\xEE", 6));
}

TEST_F(MachineId, ZeroOrSilentAdaptersNeverBecomeTheIdentity) {
  Adapters("eth0 000000000000\nwlan0 -\n" + std::string(300, 'n') + " 00AABBCCDDEE\n");
  EXPECT_EQ(Discover(), "00AABBCCDDEE");
  Adapters("eth0 000000000000\nwlan0 -\n");
  EXPECT_EQ(Discover(), "000000000000");
}

TEST_F(MachineId, ShortRegistryValueReplacesOnlyTheFirstBytes) {
  MapEntry("001A2B000001", "\xFF\xEE");
  MapEntry("001A2B000009", std::string(7, '\x11'));  // too large: ignored
  Adapters("eth0 001A2B000001\n");
  EXPECT_EQ(Discover(), "FFEE2B000001");
  Adapters("eth0 001A2B000009\n");
  EXPECT_EQ(Discover(), "001A2B000009");
}

TEST_F(MachineId, NoAdapterListFailsAndLeavesTheBufferAlone) {
  Adapters("");
  WideChar buffer[260] = WIDE("untouched");
  EXPECT_EQ(DiscoverMac(buffer), -1);
  EXPECT_EQ(WideString(buffer), WIDE("untouched"));
}

TEST_F(MachineId, UnusableRegistryStillGivesTheSmallestAddress) {
  WriteFile(dir_.path() + "/registry", "not a folder");
  Adapters("eth0 001A2B000002\neth1 001A2B000001\n");
  EXPECT_EQ(Discover(), "001A2B000001");
}

TEST_F(MachineId, FirstIdentityIsCachedForTheLifeOfTheLibrary) {
  Adapters("");
  WideChar id[kMachineIdUnits];
  EXPECT_EQ(GetMachineId(id), 1);
  EXPECT_EQ(WideString(id), WIDE(""));  // failure is not cached
  Adapters("eth0 0000000000AB\n");
  GetMachineId(id);
  EXPECT_EQ(WideString(id), WIDE("0000000000AB"));
  Adapters("eth0 000000000001\n");
  GetMachineId(id);
  EXPECT_EQ(WideString(id), WIDE("0000000000AB"));
}

// The identity is the lowest permanent address the adapters' drivers give,
// never the all-zero fallback while one of them gives an address.
TEST(MachineIdOnThisMachine, RealAdaptersGiveTheLowestPermanentAddress) {
  testing_support::TempDir dir;  // no net/adapters: the kernel's interfaces
  testing_support::ScopedRoot root(dir.path());
  std::vector<std::string> names;
  if (!platform::ListAdapterNames(&names)) GTEST_SKIP() << "this machine shows no adapter";
  std::string lowest;
  for (const std::string& name : names) {
    uint8_t mac[6] = {};
    if (!platform::QueryPermanentAddress(WideString(platform::kAdapterDevicePrefix) + FromUtf8(name),
                                         mac)) {
      continue;
    }
    char text[13];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    if (std::string(text) != "000000000000" && (lowest.empty() || text < lowest)) lowest = text;
  }
  if (lowest.empty()) GTEST_SKIP() << "no adapter of this machine gives a permanent address";
  WideChar buffer[260] = {};
  ASSERT_EQ(DiscoverMac(buffer), 0);
  EXPECT_EQ(ToUtf8(buffer), lowest);
}

}  // namespace
