// The measured child-process runner over fork, exec and wait4.
#include "tests/service/measured_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "tests/test_support.h"
#include "tests/test_support_posix.h"

namespace service_test {

MeasuredRun RunMeasured(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env) {
  testing_support::TempDir dir;
  const std::string outPath = dir.path() + "/out", errPath = dir.path() + "/err";
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::dup2(in, 0);
    testing_support::ExecChild(argv, env);
  }
  MeasuredRun run;
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKilobytes = usage.ru_maxrss;
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  run.out = testing_support::ReadFile(outPath);
  run.err = testing_support::ReadFile(errPath);
  return run;
}

}  // namespace service_test
