// A log line the disk holds only in part, the disk's room chosen through the
// platform layer's system-call table: on every system and without privileges.
// (A real file size limit: log_file_test_posix.)
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/system_calls.h"
#include "support/log_module.h"
#include "tests/common/test_support.h"

namespace {

// The size the log file may grow to; 0 for no limit.
size_t g_limit = 0;
platform::SystemCalls g_system;

long WriteUntilFull(platform::NativeFile file, const platform::ByteSpan* pieces, size_t count,
                    int* error) {
  if (g_limit == 0) return g_system.writeGathered(file, pieces, count, error);
  const size_t size = testing_support::ReadFile(LogFilePath()).size();
  size_t room = g_limit > size ? g_limit - size : 0;
  if (room == 0) {
    *error = ENOSPC;
    return -1;
  }
  std::vector<platform::ByteSpan> fits;
  for (size_t i = 0; i < count && room > 0; ++i) {
    fits.push_back({pieces[i].data, pieces[i].size < room ? pieces[i].size : room});
    room -= fits.back().size;
  }
  return g_system.writeGathered(file, fits.data(), fits.size(), error);
}

// The line that does not fit is taken back, or where the system cannot do
// that, left on a line of its own: the next line is whole either way.
TEST(LogFullDisk, LineTheDiskHoldsInPartNeverRunsIntoTheNextLine) {
  testing_support::TempDir dir;
  testing_support::ScopedRoot root(dir.path());
  platform::MakeDirectories(dir.path() + "/drive_c");
  const size_t before = testing_support::ReadFile(LogFilePath()).size();
  platform::SystemCallsOverride calls;
  g_system = calls.system();
  platform::systemCalls.writeGathered = WriteUntilFull;
  {
    LogModule log(WIDE("Quorvil"));
    log.Print(WIDE("first"));
    g_limit = testing_support::ReadFile(LogFilePath()).size() + 100;
    log.Print(WIDE("%s"), WideString(8000, WIDE('x')).c_str());
    g_limit = 0;
    log.Print(WIDE("short"));
    log.Print(WIDE("%s"), WideString(5000, WIDE('y')).c_str());
  }
  std::string bad;
  std::vector<std::string> messages =
      testing_support::LogMessages(testing_support::ReadFile(LogFilePath()).substr(before), &bad);
  EXPECT_EQ(bad, "");
  ASSERT_GE(messages.size(), 3u);
  if (messages.size() == 4) {
    EXPECT_EQ(messages[1], std::string(messages[1].size(), 'x')) << "not a piece of the cut line";
    messages.erase(messages.begin() + 1);
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"first", "short", std::string(5000, 'y')}));
}

}  // namespace
