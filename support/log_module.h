// The log module: one channel of lines to "C:\runtime.log", or to the
// debugger output when that file cannot be opened.
#pragma once

#include <string>

#include "platform/files.h"
#include "platform/wide.h"
#include "support/format_string.h"

class LogModule {
 public:
  // Checks the channel's registry switch and opens the log file; never fails.
  explicit LogModule(const WideChar* channelName);
  ~LogModule();
  LogModule(const LogModule&) = delete;
  LogModule& operator=(const LogModule&) = delete;

  // One line: prefix, formatted message, "\r\n", flushed. Nothing at all when
  // the channel is switched off.
  void Print(const WideChar* format, ...);
  void PrintV(const WideChar* format, va_list args);
  // Writes `message` as the line's message, without formatting it.
  void PrintLiteral(const WideString& message);
  // Print of a "text%s" format whose argument is given as bytes that are
  // valid UTF-8 without a zero byte: the very line Print writes for the
  // UTF-16 text they convert to, without converting them.
  void PrintUtf8(const WideChar* format, const char* text, size_t size);

  bool IsDisabled() const { return disabled; }
  bool HasFile() const { return file.is_open(); }

 private:
  // "[time][channel]INFO:", or nothing for a line without a message.
  WideString Prefix(bool haveMessage) const;
  // The message is `units` of `message` followed by `moreUnits` of `more`.
  // Each line is built in storage of its own call, so that host threads may
  // print on one instance at once.
  void WriteLine(bool haveMessage, const WideChar* message, size_t units, const WideChar* more,
                 size_t moreUnits) const;

  bool timestamp;
  bool disabled;
  WideString name;
  platform::AppendFile file;
};

// The library's channels: "Quorvil" and "DbgPlugin".
extern LogModule mainLog;
extern LogModule dbgLog;

// One line of dbgLog, formatted into at most 4,095 units, then cut to 1,023
// as the platform's wsprintfW does; the result is not read as a format again.
void DbgPrint(const WideChar* format, ...);

// The native path of the log file, "C:\runtime.log" on the machine root.
std::string LogFilePath();
