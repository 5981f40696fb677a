// The sender's address list, the host name and the agent folder past their
// fixed sizes, read by copies of this program: the resolver's answer comes
// from a hosts file bound over /etc/hosts in a mount namespace of the copy's
// own, under a host name set in its own UTS namespace.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "service/local_address.h"
#include "service/proxy_settings.h"
#include "support/module_dir.h"
#include "support/text_conversion.h"
#include "tests/test_support.h"

namespace {

constexpr size_t kListSize = 260;
constexpr size_t kCanary = 64;

// QUORVIL_BOUNDS_PROBE=addresses NAME HOSTS: the address list under that host
// name and hosts file. QUORVIL_BOUNDS_PROBE=folder DIR: the agent folder and
// whether the proxy counts as enabled, run from DIR.
__attribute__((constructor)) void RunProbe() {
  const char* probe = std::getenv("QUORVIL_BOUNDS_PROBE");
  if (probe == nullptr) return;
  const std::string p(probe);
  if (p == "addresses") {
    const char* name = std::getenv("QUORVIL_BOUNDS_NAME");
    const char* hosts = std::getenv("QUORVIL_BOUNDS_HOSTS");
    if (::unshare(CLONE_NEWNS | CLONE_NEWUTS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(hosts, "/etc/hosts", nullptr, MS_BIND, nullptr) != 0 ||
        ::sethostname(name, std::strlen(name)) != 0) {
      std::printf("unsupported: %s\n", std::strerror(errno));
    } else {
      char list[kListSize + kCanary];
      std::memset(list, 'x', sizeof list);
      GetLocalAddressList(list);
      size_t intact = 0;
      while (intact < kCanary && list[kListSize + intact] == 'x') ++intact;
      std::printf("list=%s canary=%zu\n", std::string(list, strnlen(list, kListSize)).c_str(),
                  intact);
    }
  } else if (p == "folder") {
    if (::chdir(std::getenv("QUORVIL_BOUNDS_DIR")) != 0) std::printf("no chdir\n");
    WideString folder = WIDE("untouched");
    const int length = GetModuleDir(folder);
    std::printf("length=%d folder=%s\n", length, ToUtf8(folder).c_str());
    std::printf("enabled=%d\n", IsProxyEnabled() ? 1 : 0);
  }
  std::fflush(stdout);
  std::_Exit(0);
}

// The last line of the probe's output that starts with `key`.
std::string Field(const std::string& out, const std::string& key) {
  const size_t at = out.rfind(key);
  if (at == std::string::npos) return "<none>";
  return out.substr(at + key.size(), out.find_first_of(" \n", at) - at - key.size());
}

class AddressList : public ::testing::Test {
 protected:
  std::string Run(const std::string& hostName, const std::string& hostsFile) {
    testing_support::WriteFile(dir_.path() + "/hosts", hostsFile);
    auto r = testing_support::RunProcess(
        {"/proc/self/exe"}, {{"QUORVIL_BOUNDS_PROBE", "addresses"},
                             {"QUORVIL_BOUNDS_NAME", hostName},
                             {"QUORVIL_BOUNDS_HOSTS", dir_.path() + "/hosts"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
  testing_support::TempDir dir_;
};

#define SKIP_WITHOUT_NAMESPACES(out)                                                    \
  if ((out).find("unsupported: ") != std::string::npos)                                 \
  GTEST_SKIP() << "mount and UTS namespaces are needed to choose the resolver's answer: " \
               << (out)

TEST_F(AddressList, MoreAddressesThanFitEndAtTheLastWholeAddressWithinTheBuffer) {
  std::string hosts;
  std::string expected = "0";
  for (int i = 0; i < 30; ++i) {
    const std::string address = "127.100.200." + std::to_string(100 + i);
    hosts += address + " quorvil-bounds\n";
    if (expected.size() + 1 + address.size() < kListSize) expected += "," + address;
  }
  ASSERT_EQ(expected.size(), 1u + 16u * 16u);  // sixteen addresses fit, the rest do not
  const std::string out = Run("quorvil-bounds", hosts);
  SKIP_WITHOUT_NAMESPACES(out);
  EXPECT_EQ(Field(out, "list="), expected);
  EXPECT_EQ(Field(out, "canary="), std::to_string(kCanary)) << "written past the list's buffer";
}

TEST_F(AddressList, HostNameOfThirtyOneCharactersResolvesAndALongerOneIsNeverCut) {
  const std::string fits(31, 'h');
  const std::string hosts = "127.0.0.5 " + fits + "\n";
  std::string out = Run(fits, hosts);
  SKIP_WITHOUT_NAMESPACES(out);
  EXPECT_EQ(Field(out, "list="), "0,127.0.0.5");
  // Cut to its first 31 characters, these names would resolve to 127.0.0.5.
  for (const std::string& name : {fits + "h", fits + "-and-more"}) {
    out = Run(name, hosts + "127.0.0.6 " + name + "\n");
    EXPECT_EQ(Field(out, "list="), "0") << name;
    EXPECT_EQ(Field(out, "canary="), std::to_string(kCanary));
  }
}

// The copy of this program placed so that its path has `units` characters.
std::string PlaceProgram(const std::string& base, size_t units) {
  std::string dir = base;
  ::mkdir(dir.c_str(), 0755);
  while (units - dir.size() > 200) {
    dir += "/" + std::string(std::min<size_t>(150, units - dir.size() - 160), 'd');
    ::mkdir(dir.c_str(), 0755);
  }
  const std::string program = dir + "/" + std::string(units - dir.size() - 1, 'p');
  testing_support::WriteFile(program, testing_support::ReadFile("/proc/self/exe"));
  ::chmod(program.c_str(), 0755);
  return program;
}

TEST(AgentFolder, PathOfTheLongestLengthIsUsedAndALongerOneIsNeverCut) {
  testing_support::TempDir dir;
  const std::string cwd = dir.path() + "/cwd";
  ::mkdir(cwd.c_str(), 0755);
  ::mkdir((cwd + "/Conf").c_str(), 0755);
  testing_support::WriteFile(cwd + "/Conf/ProxyInfo.xml", "10.1.1.1 8080 true");
  auto probe = [&](const std::string& program) {
    return testing_support::RunProcess(
               {program}, {{"QUORVIL_BOUNDS_PROBE", "folder"}, {"QUORVIL_BOUNDS_DIR", cwd}})
        .out;
  };

  const std::string longest = PlaceProgram(dir.path() + "/a", 1023);
  ASSERT_EQ(longest.size(), 1023u);
  std::string out = probe(longest);
  EXPECT_EQ(Field(out, "length="), "1023");
  EXPECT_EQ(Field(out, "folder="), longest.substr(0, longest.rfind('/') + 1));
  EXPECT_EQ(Field(out, "enabled="), "0");  // its own folder has no settings file

  // Any cut of the longer path names one of its folders; give each of them
  // settings that would disable the proxy, so that only the current folder's
  // settings, which enable it, are right.
  const std::string longer = PlaceProgram(dir.path() + "/b", 1030);
  for (size_t at = longer.find('/', dir.path().size() + 1); at != std::string::npos;
       at = longer.find('/', at + 1)) {
    const std::string folder = longer.substr(0, at);
    ::mkdir((folder + "/Conf").c_str(), 0755);
    testing_support::WriteFile(folder + "/Conf/ProxyInfo.xml", "10.1.1.1 8080 false");
  }
  out = probe(longer);
  EXPECT_EQ(Field(out, "length="), "0");
  EXPECT_EQ(Field(out, "folder="), "untouched");
  EXPECT_EQ(Field(out, "enabled="), "1") << "settings read from a cut path";
}

}  // namespace
