#include "support/log_module.h"

#include <memory>
#include <new>
#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "support/text_conversion.h"
#include "text/utf.h"
#include "text/wide_printf.h"

namespace {

constexpr const char* kSwitchKey = "Software\\Korvane\\LogModule";
constexpr const char* kLogFile = "C:\\runtime.log";
constexpr size_t kDbgFormatUnits = 4096;
constexpr size_t kWsprintfUnits = 1024;
constexpr size_t kStackLineBytes = 1024;
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
    : timestamp(true), disabled(false), name(channelName != nullptr ? channelName : WIDE("")) {
  if (auto key = platform::RegKey::Open(kSwitchKey, platform::RegAccess::kQueryValue)) {
    if (key->HasValue(ToUtf8(name))) disabled = true;
  }
  if (disabled) return;
  const std::string path = LogFilePath();
  // Drive C: always exists on Windows; its stand-in folder may not yet.
  platform::MakeDirectories(path.substr(0, path.rfind('/')));
  file = platform::AppendFile(path);  // the lines carry their own CR LF
  if (!file.is_open()) {
    const WideString widePath = FromUtf8(platform::DisplayPath(path));
    platform::DebugOutput(FormatString(
        WIDE("Cannot open log file:%s, redirect the log using OutputDebugString().\r\n"),
        widePath.c_str()));
  }
}

LogModule::~LogModule() = default;

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
  const bool ok = format != nullptr && unicode::FormatWideV(message, format, args);
  WriteLine(ok && !message.empty(), message.data(), message.size(), nullptr, 0);
}

void LogModule::PrintLiteral(const WideString& message) {
  if (disabled) return;
  WriteLine(!message.empty(), message.data(), message.size(), nullptr, 0);
}

void LogModule::PrintUtf8(const WideChar* format, const char* text, size_t size) {
  if (disabled) return;
  const size_t before = format != nullptr ? TextBeforeTrailingString(format) : kNoTrailingString;
  if (before == kNoTrailingString || !file.is_open()) {
    const WideString wide = unicode::Utf8ToUtf16(text, size);
    Print(format, wide.c_str());
    return;
  }
  // UTF-8 without a zero byte converts to UTF-16 and back to itself, so the
  // bytes are what the line would hold; they go out as they are, gathered
  // with the prefix and the terminator into the line's one append write.
  WideString head = Prefix(before + size > 0);
  head.append(format, before);
  const std::string headBytes = unicode::Utf16ToUtf8(head.data(), head.size());
  const platform::ByteSpan pieces[] = {
      {headBytes.data(), headBytes.size()}, {text, size}, {"\r\n", 2}};
  file.AppendOnce(pieces, 3);
}

WideString LogModule::Prefix(bool haveMessage) const {
  if (!haveMessage) return WideString();
  if (!timestamp) return FormatString(WIDE("[%s]INFO:"), name.c_str());
  const platform::LocalTimeOfDay now = platform::LocalTime();
  return FormatString(WIDE("[%02d:%02d:%02d][%s]INFO:"), now.hour, now.minute, now.second, name.c_str());
}

void LogModule::WriteLine(bool haveMessage, const WideChar* message, size_t units,
                          const WideChar* more, size_t moreUnits) const {
  const WideString prefix = Prefix(haveMessage);
  if (!haveMessage) units = moreUnits = 0;
  const WideChar kTerminator[] = {WIDE('\r'), WIDE('\n')};
  if (!file.is_open()) {
    WideString line = prefix;
    if (units > 0) line.append(message, units);
    if (moreUnits > 0) line.append(more, moreUnits);
    line.append(kTerminator, 2);
    platform::DebugOutput(line);
    return;
  }
  // The whole line leaves in one append write, which no other writer's line
  // can enter. It is converted once into storage of its exact size, freed
  // before the call returns, so that a template is not held longer.
  const size_t size = unicode::Utf8Size(prefix.data(), prefix.size()) +
                      unicode::Utf8Size(message, units) + unicode::Utf8Size(more, moreUnits) + 2;
  char onStack[kStackLineBytes];
  std::unique_ptr<char[]> onHeap;
  char* out = onStack;
  if (size > sizeof onStack) {
    onHeap.reset(new (std::nothrow) char[size]);
    // Without memory for the line there is nothing whole to write.
    if (onHeap == nullptr) return;
    out = onHeap.get();
  }
  size_t used = unicode::Utf16ToUtf8(prefix.data(), prefix.size(), out);
  used += unicode::Utf16ToUtf8(message, units, out + used);
  used += unicode::Utf16ToUtf8(more, moreUnits, out + used);
  out[used++] = '\r';
  out[used++] = '\n';
  const platform::ByteSpan line = {out, used};
  file.AppendOnce(&line, 1);
}

void DbgPrint(const WideChar* format, ...) {
  va_list args;
  va_start(args, format);
  WideString text;
  if (format != nullptr) unicode::FormatWideV(text, format, args);
  va_end(args);
  // A failed format keeps what was written before the error, as the CRT does.
  if (text.size() > kDbgFormatUnits - 1) text.resize(kDbgFormatUnits - 1);
  if (text.size() > kWsprintfUnits - 1) text.resize(kWsprintfUnits - 1);
  dbgLog.PrintLiteral(text);
}
