// Signals the translator does not take run the course they would have had
// without it: sent ones, and faults of threads without a translator, end the
// process by that very signal or reach the host's own handler. Each case runs
// in a child process of its own, which leaves the dispositions as a host
// finds them before it sets them.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

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

// The translator is installed as a command installs it, on this thread.
void AfterACommand() { platform::SetFaultTranslator(Throwing); }

TEST(FaultPassthroughDeathTest, SignalsThatAreNoFaultsOfACommandTakeTheHostsCourse) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Sent to the process, not raised by an instruction: not translated.
  EXPECT_EXIT(
      {
        HostDispositions(SIG_DFL);
        AfterACommand();
        ::kill(::getpid(), SIGSEGV);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  EXPECT_EXIT(
      {
        HostDispositions(SIG_DFL);
        AfterACommand();
        ::raise(SIGSEGV);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  // A fault of a host thread that never ran a command.
  EXPECT_EXIT(
      {
        HostDispositions(SIG_DFL);
        AfterACommand();
        std::thread(WriteNull).join();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  // The host's handler, installed before the plug-in's, still sees both.
  EXPECT_EXIT(
      {
        HostDispositions(HostHandler);
        AfterACommand();
        ::kill(::getpid(), SIGSEGV);
      },
      ::testing::ExitedWithCode(SIGSEGV), "host handler");
  EXPECT_EXIT(
      {
        HostDispositions(HostHandler);
        AfterACommand();
        std::thread(WriteNull).join();
      },
      ::testing::ExitedWithCode(SIGSEGV), "host handler");
  // An ignored signal that was sent stays ignored.
  EXPECT_EXIT(
      {
        HostDispositions(SIG_IGN);
        AfterACommand();
        ::kill(::getpid(), SIGSEGV);
        ::_exit(7);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
