// Arguments, streams and stop signals of a Windows console program.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <csignal>
#include <cwchar>

#include "platform/standin/program.h"
#include "text/utf.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(unicode::Utf16ToUtf8(wide[i], std::wcslen(wide[i])));
  ::LocalFree(wide);
  return args;
}

void SetBinaryStandardStreams() {
  ::_setmode(0, _O_BINARY);
  ::_setmode(1, _O_BINARY);
}

struct StopRequests::Previous {
  void (*interrupt)(int), (*brk)(int), (*terminate)(int);
};

// Ctrl-C and Ctrl-Break of the console; SIGTERM only comes by raise().
StopRequests::StopRequests(void (*handler)(int))
    : previous_(new Previous{std::signal(SIGINT, handler), std::signal(SIGBREAK, handler),
                             std::signal(SIGTERM, handler)}) {}

StopRequests::~StopRequests() {
  std::signal(SIGINT, previous_->interrupt);
  std::signal(SIGBREAK, previous_->brk);
  std::signal(SIGTERM, previous_->terminate);
  delete previous_;
}

}  // namespace platform
