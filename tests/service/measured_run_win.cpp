// The measured child-process runner on Windows: the child's peak working set
// from its process handle.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>

#include "tests/service/measured_run.h"
#include "tests/test_support.h"
#include "tests/test_support_win.h"

namespace service_test {
namespace {

size_t PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace

MeasuredRun RunMeasured(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env) {
  testing_support::TempDir dir;
  const std::string outPath = dir.path() + "/out", errPath = dir.path() + "/err";
  const auto start = std::chrono::steady_clock::now();
  HANDLE process = testing_support::StartProcessHandle(argv, env, outPath, errPath);
  MeasuredRun run;
  if (process == nullptr) {
    run.exitCode = 127;
    return run;
  }
  // Wine 8 answers zeros for a child that has exited, so the peak is read
  // while it runs, and once more at the end for a system that keeps it. It
  // only grows: the largest read is the peak, short of a rise in the last few
  // milliseconds before the end.
  size_t peak = 0;
  do {
    peak = std::max(peak, PeakWorkingSet(process));
  } while (::WaitForSingleObject(process, 5) == WAIT_TIMEOUT);
  peak = std::max(peak, PeakWorkingSet(process));
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKilobytes = static_cast<long>(peak / 1024);
  testing_support::CollectExit(process, &run.exitCode, &run.signal);
  run.out = testing_support::ProgramText(testing_support::ReadFile(outPath));
  run.err = testing_support::ProgramText(testing_support::ReadFile(errPath));
  return run;
}

}  // namespace service_test
