// Signals the translator does not take run the course they would have had
// without it: sent ones, and faults of threads without a translator, end the
// process by that very signal or reach the host's own handler. Each case runs
// in a child process of its own, which leaves the dispositions as a host
// finds them before it sets them.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "platform/fault_translator.h"
#include "tests/platform/thrown_faults.h"

namespace {

using namespace thrown_faults;

void HostDispositions(void (*handler)(int)) {
  // The sanitizers of some builds take SIGSEGV themselves; a host here does not.
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGSEGV, &sa, nullptr);
}

void HostHandler(int sig) {
  static const char kSeen[] = "host handler\n";
  (void)!::write(STDERR_FILENO, kSeen, sizeof kSeen - 1);
  ::_exit(sig);
}

void SendSegv() { ::kill(::getpid(), SIGSEGV); }
void RaiseSegv() { ::raise(SIGSEGV); }
void FaultOnAThreadWithoutACommand() { std::thread(WriteNull).join(); }
// A fault in code of another module (the C library), as the host's own code
// would meet it after a command has returned; and the same during a command.
size_t (*volatile g_strlen)(const char*) = std::strlen;
void FaultInAnotherModule() { g_strlen(reinterpret_cast<const char*>(g_null)); }
void FaultInAnotherModuleDuringACommand() {
  platform::FaultScope command;
  if (CodeOf(FaultInAnotherModule) == platform::kExceptionAccessViolation) ::_exit(3);
}

// The host sets its SIGSEGV disposition, runs a command on this thread (which
// installs the translator, as PostCommand does), then meets `signal`.
void Host(void (*handler)(int), void (*signal)()) {
  HostDispositions(handler);
  platform::SetFaultTranslator(Throwing);
  signal();
}

TEST(FaultPassthroughDeathTest, SignalsThatAreNoFaultsOfACommandTakeTheHostsCourse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  using ::testing::ExitedWithCode;
  using ::testing::KilledBySignal;
  // Sent, not raised by an instruction: not translated, even on this thread.
  EXPECT_EXIT(Host(SIG_DFL, SendSegv), KilledBySignal(SIGSEGV), "");
  EXPECT_EXIT(Host(SIG_DFL, RaiseSegv), KilledBySignal(SIGSEGV), "");
  EXPECT_EXIT(Host(SIG_DFL, FaultOnAThreadWithoutACommand), KilledBySignal(SIGSEGV), "");
  // The host's handler, installed before the plug-in's, still sees both.
  EXPECT_EXIT(Host(HostHandler, SendSegv), ExitedWithCode(SIGSEGV), "host handler");
  EXPECT_EXIT(Host(HostHandler, FaultOnAThreadWithoutACommand), ExitedWithCode(SIGSEGV), "host handler");
  EXPECT_EXIT(Host(HostHandler, FaultInAnotherModule), ExitedWithCode(SIGSEGV), "host handler");
  EXPECT_EXIT(Host(HostHandler, FaultInAnotherModuleDuringACommand), ExitedWithCode(3), "");
  // A sent signal the host ignores stays ignored.
  EXPECT_EXIT(
      {
        Host(SIG_IGN, SendSegv);
        ::_exit(7);
      },
      ExitedWithCode(7), "");
}

}  // namespace
