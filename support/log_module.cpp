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
constexpr size_t kSliceUnits = 16 * 1024;
constexpr size_t kSliceBytes = 4 * kSliceUnits;
constexpr size_t kNoTrailingString = static_cast<size_t>(-1);

// The units before "%s" when the format is plain text followed by "%s" and
// nothing else; kNoTrailingString otherwise.
size_t TextBeforeTrailingString(const WideChar* format) {
  size_t i = 0;
  while (format[i] != 0 && format[i] != WIDE('%')) ++i;
  if (format[i] != WIDE('%') || format[i + 1] != WIDE('s') || format[i + 2] != 0) return kNoTrailingString;
  return i;
}

}  // namespace

std::string LogFilePath() { return platform::NativePath(kLogFile); }

LogModule::LogModule(const WideChar* channelName)
    : timestamp(true), disabled(false), name(channelName != nullptr ? channelName : WIDE("")),
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
        WIDE("Cannot open log file:%s, redirect the log using OutputDebugString().\r\n"),
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
  // "text%s" lines carry the largest messages (a whole template among them):
  // they are written from the argument itself, never formatted into a copy.
  const size_t text = format != nullptr ? TextBeforeTrailingString(format) : kNoTrailingString;
  if (text != kNoTrailingString) {
    const WideChar* argument = va_arg(args, const WideChar*);
    if (argument == nullptr) argument = WIDE("(null)");
    size_t units = 0;
    while (argument[units] != 0) ++units;
    WriteLine(text + units > 0, format, text, argument, units);
    return;
  }
  WideString message;
  const bool ok = format != nullptr && FormatWideV(message, format, args);
  WriteLine(ok && !message.empty(), message.data(), message.size(), nullptr, 0);
}

void LogModule::PrintLiteral(const WideString& message) {
  if (disabled) return;
  WriteLine(!message.empty(), message.data(), message.size(), nullptr, 0);
}

void LogModule::PrintUtf8(const WideChar* format, const char* text, size_t size) {
  if (disabled) return;
  const size_t before = format != nullptr ? TextBeforeTrailingString(format) : kNoTrailingString;
  if (before == kNoTrailingString || file == nullptr) {
    const WideString wide = platform::Utf8ToUtf16(text, size);
    Print(format, wide.c_str());
    return;
  }
  // UTF-8 without a zero byte converts to UTF-16 and back to itself, so the
  // bytes are what the line would hold.
  if (bytes.size() < kSliceBytes) bytes.resize(kSliceBytes);
  const WideString prefix = Prefix(before + size > 0);
  size_t used = AppendUtf8(prefix.data(), prefix.size(), 0);
  used = AppendUtf8(format, before, used);
  std::fwrite(bytes.data(), 1, used, file);
  std::fwrite(text, 1, size, file);
  used = AppendUtf8(WIDE("\r\n"), 2, 0);
  std::fwrite(bytes.data(), 1, used, file);
  std::fflush(file);
}

WideString LogModule::Prefix(bool haveMessage) const {
  if (!haveMessage) return WideString();
  if (!timestamp) return FormatString(WIDE("[%s]INFO:"), name.c_str());
  const platform::LocalTimeOfDay now = platform::LocalTime();
  return FormatString(WIDE("[%02d:%02d:%02d][%s]INFO:"), now.hour, now.minute, now.second, name.c_str());
}

void LogModule::WriteLine(bool haveMessage, const WideChar* message, size_t units,
                          const WideChar* more, size_t moreUnits) {
  const WideString prefix = Prefix(haveMessage);
  if (file == nullptr) {
    line = prefix;
    if (haveMessage) {
      line.append(message, units);
      if (moreUnits > 0) line.append(more, moreUnits);
    }
    line += WIDE("\r\n");
    platform::DebugOutput(line);
    return;
  }
  // A line is converted slice by slice into one reused buffer, so that a
  // whole template in a line is never copied again; a line that fits the
  // buffer still leaves in one write.
  if (bytes.size() < kSliceBytes) bytes.resize(kSliceBytes);
  size_t used = AppendUtf8(prefix.data(), prefix.size(), 0);
  if (haveMessage) {
    used = AppendUtf8(message, units, used);
    used = AppendUtf8(more, moreUnits, used);
  }
  used = AppendUtf8(WIDE("\r\n"), 2, used);
  std::fwrite(bytes.data(), 1, used, file);
  std::fflush(file);
}

size_t LogModule::AppendUtf8(const WideChar* text, size_t units, size_t used) {
  while (units > 0) {
    size_t slice = units < kSliceUnits ? units : kSliceUnits;
    // A surrogate pair is never split between slices.
    if (slice < units && text[slice - 1] >= 0xD800 && text[slice - 1] <= 0xDBFF) --slice;
    if (used + 3 * slice > kSliceBytes) {
      std::fwrite(bytes.data(), 1, used, file);
      used = 0;
    }
    used += platform::Utf16ToUtf8(text, slice, &bytes[used]);
    text += slice;
    units -= slice;
  }
  return used;
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
