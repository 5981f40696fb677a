// Child processes of the Windows test support, beside tests/test_support.h.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Starts a program in the background without a console window of its own,
// its standard output to `stdoutFile` (emptied first) or nowhere; answers its
// process id, 0 when it could not start.
unsigned long StartProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env = {},
                           const std::string& stdoutFile = std::string());
// Starts a program as StartProcess does, its standard error to `stderrFile`
// (emptied first) or where this process's goes; answers its process handle,
// for the caller to close, null when it could not start.
void* StartProcessHandle(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         const std::string& stdoutFile, const std::string& stderrFile);
// For a process that has ended: sets its exit code, or `signal` to the
// exception code that ended it, and closes its handle.
void CollectExit(void* process, int* exitCode, int* signal);
bool ProcessRunning(unsigned long pid);
// Ends the process and waits for it.
void StopProcess(unsigned long pid);
// The names in the export table of a DLL, loaded for the look; false when it
// cannot be loaded or exports anything by ordinal only.
bool DllExportNames(const std::string& path, std::vector<std::string>* names);
// The system's temporary folder, '/'-separated, without a trailing '/'.
std::string TempBase();

}  // namespace testing_support
