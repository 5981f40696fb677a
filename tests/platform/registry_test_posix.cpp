#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.h"
#include "tests/common/read_only_medium.h"
#include "tests/common/test_support.h"

namespace {

using platform::RegAccess;
using platform::RegKey;
using testing_support::ScopedRoot;
using testing_support::TempDir;

// Each case in a machine root of its own.
class Registry : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedRoot root{dir.path()};
};

TEST_F(Registry, CreatedValueIsReadBackAndLivesInTheMachineRoot) {
  auto key = RegKey::Create("Software\\Korvane\\Brem2009", RegAccess::kWrite);
  ASSERT_NE(key, nullptr);
  const uint8_t bytes[6] = {0x00, 0x1A, 0x2B, 0x00, 0x00, 0x01};
  ASSERT_TRUE(key->SetValue("001A2B000002", platform::kRegBinary, bytes, sizeof bytes));
  EXPECT_EQ(testing_support::ReadFile(
                dir.path() + "/registry/HKEY_LOCAL_MACHINE/Software/Korvane/Brem2009/001A2B000002"),
            std::string(reinterpret_cast<const char*>(bytes), 6));

  auto reader = RegKey::Open("software\\KORVANE\\brem2009", RegAccess::kRead);
  ASSERT_NE(reader, nullptr);
  std::vector<uint8_t> data;
  uint32_t type = 0;
  ASSERT_TRUE(reader->QueryValue("001a2b000002", &data, &type));
  EXPECT_EQ(data, std::vector<uint8_t>(bytes, bytes + 6));
  EXPECT_EQ(type, platform::kRegBinary);
  EXPECT_EQ(reader->ValueNames(), std::vector<std::string>{"001A2B000002"});
}

TEST_F(Registry, AnEmptyFileIsAValueWithEmptyData) {
  ASSERT_TRUE(platform::MakeDirectories(dir.path() + "/registry/HKEY_LOCAL_MACHINE/Software/X"));
  testing_support::WriteFile(dir.path() + "/registry/HKEY_LOCAL_MACHINE/Software/X/Flag", "");
  auto key = RegKey::Open("Software\\X", RegAccess::kQueryValue);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->HasValue("flag"));
  std::vector<uint8_t> data{1, 2};
  EXPECT_TRUE(key->QueryValue("Flag", &data));
  EXPECT_TRUE(data.empty());
  EXPECT_FALSE(key->HasValue("Other"));
}

TEST_F(Registry, MissingKeysAreNotCreatedByOpen) {
  EXPECT_EQ(RegKey::Open("Software\\Nothing", RegAccess::kRead), nullptr);
  EXPECT_FALSE(testing_support::FileExists(dir.path() + "/registry/HKEY_LOCAL_MACHINE/Software"));
}

TEST_F(Registry, ReadOnlyAccessRefusesWritesAndBadNamesAreRefused) {
  auto key = RegKey::Create("Software\\Y", RegAccess::kRead);
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(key->SetValue("v", platform::kRegSz, "a", 1));
  auto writer = RegKey::Create("Software\\Y", RegAccess::kAll);
  ASSERT_NE(writer, nullptr);
  EXPECT_FALSE(writer->SetValue("../escape", platform::kRegSz, "a", 1));
  EXPECT_FALSE(writer->SetValue(".hidden", platform::kRegSz, "a", 1));
  EXPECT_EQ(RegKey::Create("Software\\..\\..", RegAccess::kAll), nullptr);
  EXPECT_TRUE(writer->SetValue("v", platform::kRegSz, "abc", 3));
  EXPECT_TRUE(writer->DeleteValue("V"));
  EXPECT_FALSE(writer->HasValue("v"));
}

TEST_F(Registry, SubkeysAreListedAndDeletedWhole) {
  ASSERT_NE(RegKey::Create("Software\\Z\\A", RegAccess::kWrite), nullptr);
  ASSERT_NE(RegKey::Create("Software\\Z\\B", RegAccess::kWrite), nullptr);
  auto z = RegKey::Open("Software\\Z", RegAccess::kRead);
  ASSERT_NE(z, nullptr);
  auto names = z->SubkeyNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(RegKey::Delete("software\\z"));
  EXPECT_EQ(RegKey::Open("Software\\Z", RegAccess::kRead), nullptr);
}

// A key on a read-only medium is read but neither written nor made; keys
// elsewhere are written as before.
TEST_F(Registry, KeyOnAReadOnlyMediumIsReadButNeitherWrittenNorMade) {
  auto key = RegKey::Create("Software\\RO", RegAccess::kAll);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->SetValue("V", platform::kRegSz, "a", 1));
  testing_support::ReadOnlyMedium medium({dir.path() + "/registry/HKEY_LOCAL_MACHINE/Software/RO"});
  EXPECT_EQ(RegKey::Open("Software\\RO", RegAccess::kWrite), nullptr);
  EXPECT_EQ(RegKey::Create("Software\\RO\\Sub", RegAccess::kAll), nullptr);
  EXPECT_FALSE(key->SetValue("V", platform::kRegSz, "b", 1));
  EXPECT_FALSE(key->SetValue("W", platform::kRegSz, "b", 1));
  auto read = RegKey::Open("Software\\RO", RegAccess::kRead);
  ASSERT_NE(read, nullptr);
  std::vector<uint8_t> data;
  ASSERT_TRUE(read->QueryValue("V", &data));
  EXPECT_EQ(data, std::vector<uint8_t>{'a'});
  EXPECT_FALSE(read->HasValue("W"));
  EXPECT_NE(RegKey::Create("Software\\RW", RegAccess::kWrite), nullptr);
}

}  // namespace
