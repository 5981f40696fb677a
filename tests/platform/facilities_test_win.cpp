// The Win32 platform layer against the real Windows facilities.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/files.h"
#include "platform/module_path.h"
#include "platform/named_event.h"
#include "platform/network.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "support/machine_id.h"
#include "tests/common/test_support.h"

namespace {

const char kKey[] = "Software\\Korvane\\QuorvilWinTest";

TEST(WinRegistry, ValuesRoundTripThroughTheRegistryWithTheirTypes) {
  platform::RegKey::Delete(kKey);
  EXPECT_EQ(platform::RegKey::Open(kKey, platform::RegAccess::kRead), nullptr);
  auto key = platform::RegKey::Create(std::string(kKey) + "\\Inner", platform::RegAccess::kAll);
  ASSERT_NE(key, nullptr);
  const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x00, 0x00, 0x02};
  ASSERT_TRUE(key->SetValue("Mac", platform::kRegBinary, mac, sizeof mac));
  ASSERT_TRUE(key->SetValue("Empty", platform::kRegSz, "", 0));
  std::vector<uint8_t> data;
  uint32_t type = 0;
  // Names match without regard to letter case.
  ASSERT_TRUE(key->QueryValue("mAC", &data, &type));
  EXPECT_EQ(data, std::vector<uint8_t>(mac, mac + 6));
  EXPECT_EQ(type, static_cast<uint32_t>(platform::kRegBinary));
  EXPECT_TRUE(key->HasValue("EMPTY"));
  ASSERT_TRUE(key->QueryValue("Empty", &data, &type));
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(type, static_cast<uint32_t>(platform::kRegSz));
  EXPECT_FALSE(key->HasValue("Missing"));
  auto names = key->ValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Empty", "Mac"}));
  auto parent = platform::RegKey::Open(kKey, platform::RegAccess::kQueryValue);
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent->SubkeyNames(), std::vector<std::string>{"Inner"});
  EXPECT_FALSE(parent->SetValue("X", platform::kRegSz, "x", 1));  // opened for reading
  EXPECT_TRUE(key->DeleteValue("Mac"));
  EXPECT_FALSE(key->HasValue("Mac"));
  EXPECT_TRUE(platform::RegKey::Delete(kKey));
  EXPECT_EQ(platform::RegKey::Open(kKey, platform::RegAccess::kRead), nullptr);
  EXPECT_TRUE(platform::RegKey::Delete(kKey));  // already gone
}

TEST(WinNamedEvent, SecondUserWaitsUntilFirstSetsTheEvent) {
  platform::NamedEvent first("h_QuorvilWinTestLock");
  platform::NamedEvent second("h_QuorvilWinTestLock");
  ASSERT_TRUE(first.is_open());
  ASSERT_TRUE(second.is_open());
  ASSERT_TRUE(first.Wait());  // created signalled
  testing_support::Deadline deadline("SecondUserWaitsUntilFirstSetsTheEvent", 20);
  std::atomic<bool> released{false};
  std::atomic<bool> enteredAfterRelease{false};
  std::thread waiter([&] {
    enteredAfterRelease = second.Wait() && released;
  });
  // Taken while held: a wait that does not block finds it unsignalled.
  const HANDLE probe = ::OpenEventW(SYNCHRONIZE, FALSE, L"h_QuorvilWinTestLock");
  EXPECT_NE(probe, nullptr);
  if (probe != nullptr) {
    EXPECT_EQ(::WaitForSingleObject(probe, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ::CloseHandle(probe);
  }
  released = true;
  EXPECT_TRUE(first.Set());
  waiter.join();
  EXPECT_TRUE(enteredAfterRelease.load());
  EXPECT_TRUE(second.Set());
  EXPECT_FALSE(platform::NamedEvent("bad\\name").is_open());
}

TEST(WinModulePath, ExecutablePathNamesThisProgramWithBackslashes) {
  const WideString path = platform::ExecutablePath(1024);
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find(WIDE("platform_facilities_test.exe")), WideString::npos);
  EXPECT_NE(path.rfind(platform::kPathSeparator), WideString::npos);
  EXPECT_TRUE(platform::ExecutablePath(3).empty());  // does not fit
  EXPECT_EQ(platform::ModulePathOf(reinterpret_cast<const void*>(&platform::ExecutablePath)), path);
}

TEST(WinSystemMessage, FormatMessageTextEndsInCrLf) {
  WideString text;
  ASSERT_TRUE(platform::SystemMessage(ERROR_FILE_NOT_FOUND, &text));
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), WIDE("\r\n"));
}

TEST(WinMachineRoot, DrivePathsStayRealAndMakeDirectoriesCreatesParents) {
  EXPECT_EQ(platform::NativePath("C:\\runtime.log"), "C:/runtime.log");
  EXPECT_EQ(platform::DisplayPath(platform::NativePath("C:\\runtime.log")), "C:\\runtime.log");
  testing_support::TempDir dir;
  const std::string deep = dir.path() + "/a/b\\c";
  EXPECT_TRUE(platform::MakeDirectories(deep));
  EXPECT_TRUE(testing_support::FileExists(dir.path() + "/a/b/c"));
  testing_support::WriteFile(dir.path() + "/file", "x");
  EXPECT_FALSE(platform::MakeDirectories(dir.path() + "/file"));
}

// The identity the server sees comes from the adapters alone: no variable
// of the agent's environment can replace them.
TEST(WinAdapters, MachineRootDescribingAdaptersChangesNothing) {
  std::vector<std::string> before;
  const bool listed = platform::ListAdapterNames(&before);
  WideChar plain[260] = {};
  const int plainResult = DiscoverMac(plain);
  testing_support::TempDir dir;
  ASSERT_TRUE(platform::MakeDirectories(dir.path() + "/net"));
  testing_support::WriteFile(dir.path() + "/net/adapters", "eth0 001122AABBCC\n");
  testing_support::ScopedRoot root(dir.path());
  std::vector<std::string> names;
  EXPECT_EQ(platform::ListAdapterNames(&names), listed);
  EXPECT_EQ(names, before);
  uint8_t mac[6] = {};
  EXPECT_FALSE(platform::QueryPermanentAddress(WIDE("//./eth0"), mac));
  WideChar described[260] = {};
  EXPECT_EQ(DiscoverMac(described), plainResult);
  EXPECT_EQ(WideString(described), WideString(plain));
}

// The names come from IP Helper and each address from the adapter's driver;
// Wine's drivers answer with the address of the host interface behind the
// adapter.
TEST(WinAdapters, EveryEthernetAdapterDriverAnswersWithTheAddressTheListShows) {
  testing_support::TempDir dir;
  testing_support::ScopedRoot root(dir.path());
  std::vector<std::string> names;
  if (!platform::ListAdapterNames(&names)) GTEST_SKIP() << "this machine shows no adapter";
  ULONG size = 0;
  ASSERT_EQ(::GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  std::vector<unsigned char> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ASSERT_EQ(::GetAdaptersInfo(list, &size), static_cast<ULONG>(ERROR_SUCCESS));
  size_t ethernet = 0;
  for (const IP_ADAPTER_INFO* a = list; a != nullptr; a = a->Next) {
    if (a->Type != MIB_IF_TYPE_ETHERNET || a->AddressLength != 6) continue;
    ++ethernet;
    WideString path = platform::kAdapterDevicePrefix;
    for (const char* c = a->AdapterName; *c != '\0'; ++c) path += static_cast<WideChar>(*c);
    uint8_t mac[6] = {};
    ASSERT_TRUE(platform::QueryPermanentAddress(path, mac)) << a->AdapterName;
    EXPECT_EQ(std::memcmp(mac, a->Address, 6), 0) << a->AdapterName;
  }
  if (ethernet == 0) GTEST_SKIP() << "this machine shows no Ethernet adapter";
  uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(platform::QueryPermanentAddress(WIDE("//./{00000000-0000-0000-0000-000000000000}"), mac));
  EXPECT_EQ(mac[0], 1) << "a failed query leaves the buffer alone";
}

TEST(WinClock, TickCountAdvancesWithSleep) {
  const uint32_t before = platform::TickCount();
  ::Sleep(50);
  // The count moves in steps of the system tick, up to 16 ms.
  EXPECT_GE(static_cast<uint32_t>(platform::TickCount() - before), 34u);
  const platform::LocalTimeOfDay now = platform::LocalTime();
  EXPECT_GE(now.year, 2020);
  EXPECT_LE(now.month, 12);
}

}  // namespace
