// A child-process runner that reports the child's peak memory.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace service_test {

struct MeasuredRun {
  int exitCode = -1;  // -1 when ended by a signal or an exception
  int signal = 0;     // on Windows the exception code
  std::string out, err;  // line ends as LF
  long peakKilobytes = 0;  // the child's peak resident set (working set on Windows)
  double seconds = 0;
};

// Runs a program to its end with extra environment variables and reports
// its output and peak memory (from the system's accounting of the child).
MeasuredRun RunMeasured(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env = {});

}  // namespace service_test
