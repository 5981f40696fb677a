// The agent folder past its fixed size, read by copies of this program placed
// at paths of chosen lengths. (The address list and the host name past theirs:
// address_list_test, through the layer's system-call table.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "service/proxy_settings.h"
#include "support/module_dir.h"
#include "support/text_conversion.h"
#include "tests/common/test_support.h"

namespace {

// QUORVIL_BOUNDS_PROBE=folder DIR: the agent folder and whether the proxy
// counts as enabled, run from DIR.
__attribute__((constructor)) void RunProbe() {
  const char* probe = std::getenv("QUORVIL_BOUNDS_PROBE");
  if (probe == nullptr) return;
  if (std::string(probe) == "folder") {
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
