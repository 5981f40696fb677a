#include "support/log_module.h"

#include <string>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/machine_root.h"
#include "platform/registry.h"
#include "platform/utf.h"
#include "support/text_conversion.h"

namespace {

constexpr const char* kSwitchKey = "Software\\Korvane\\LogModule";
constexpr const char* kLogFile = "C:\\runtime.log";
constexpr size_t kDbgFormatUnits = 4096;
constexpr size_t kWsprintfUnits = 1024;

}  // namespace

std::string LogFilePath() { return platform::NativePath(kLogFile); }

LogModule::LogModule(const WideChar* channelName)
    : timestamp(true), disabled(false), name(channelName != nullptr ? channelName : u""),
      file(nullptr) {
  if (auto key = platform::RegKey::Open(kSwitchKey, platform::RegAccess::kQueryValue)) {
    if (key->HasValue(ToUtf8(name))) disabled = true;
  }
  if (disabled) return;
  const std::string path = LogFilePath();
  // Drive C: always exists on Windows; its stand-in folder may not yet.
  platform::MakeDirectories(path.substr(0, path.rfind('/')));
  file = std::fopen(path.c_str(), "a+b");  // the lines carry their own CR LF
  if (file == nullptr) {
    const WideString widePath = FromUtf8(path);
    line = FormatString(
        u"Cannot open log file:%s, redirect the log using OutputDebugString().\r\n",
        widePath.c_str());
    platform::DebugOutput(line);
  }
}

LogModule::~LogModule() {
  if (file != nullptr) std::fclose(file);
}

void LogModule::Print(const WideChar* format, ...) {
  va_list args;
  va_start(args, format);
  PrintV(format, args);
  va_end(args);
}

void LogModule::PrintV(const WideChar* format, va_list args) {
  if (disabled) return;
  WideString message;
  const bool ok = format != nullptr && FormatWideV(message, format, args);
  WriteLine(ok && !message.empty(), message);
}

void LogModule::PrintLiteral(const WideString& message) {
  if (disabled) return;
  WriteLine(!message.empty(), message);
}

void LogModule::WriteLine(bool haveMessage, const WideString& message) {
  line.clear();
  if (haveMessage) {
    if (timestamp) {
      const platform::LocalTimeOfDay now = platform::LocalTime();
      line = FormatString(u"[%02d:%02d:%02d][%s]INFO:", now.hour, now.minute, now.second,
                          name.c_str());
    } else {
      line = FormatString(u"[%s]INFO:", name.c_str());
    }
    line += message;
  }
  if (file != nullptr) {
    line += u"\r\n";
    const std::string bytes = platform::Utf16ToUtf8(line.data(), line.size());
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
  } else {
    line += u"\r\n";
    platform::DebugOutput(line);
  }
}

void DbgPrint(const WideChar* format, ...) {
  va_list args;
  va_start(args, format);
  WideString text;
  if (format != nullptr) FormatWideV(text, format, args);
  va_end(args);
  // A failed format keeps what was written before the error, as the CRT does.
  if (text.size() > kDbgFormatUnits - 1) text.resize(kDbgFormatUnits - 1);
  if (text.size() > kWsprintfUnits - 1) text.resize(kWsprintfUnits - 1);
  dbgLog.PrintLiteral(text);
}
