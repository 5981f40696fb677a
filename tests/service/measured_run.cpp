// The measured child-process runner: output to files, the peak from the
// system's accounting of the child.
#include "tests/service/measured_run.h"

#include <chrono>

#include "platform/standin/child_process.h"
#include "tests/common/test_support.h"

namespace service_test {

MeasuredRun RunMeasured(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env) {
  using platform::ChildStream;
  testing_support::TempDir dir;
  const std::string outPath = dir.path() + "/out", errPath = dir.path() + "/err";
  const auto start = std::chrono::steady_clock::now();
  platform::ChildProcess child;
  MeasuredRun run;
  std::string error;
  if (!child.Start(argv, env, ChildStream::Null(), ChildStream::File(outPath),
                   ChildStream::File(errPath), &error)) {
    run.exitCode = 127;
    run.err = error;
    return run;
  }
  platform::ChildExit exit;
  child.Wait(-1, &exit);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKilobytes = exit.peakKilobytes;
  run.exitCode = exit.code;
  run.signal = exit.signal;
  run.out = testing_support::ProgramText(testing_support::ReadFile(outPath));
  run.err = testing_support::ProgramText(testing_support::ReadFile(errPath));
  return run;
}

}  // namespace service_test
