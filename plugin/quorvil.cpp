// The command from the agent host, top-down: HandleCommand first, then what
// it calls in the order it calls it, the small helpers last.
#include "plugin/quorvil.h"

#include <stdsoap2.h>

#include <cstring>
#include <memory>
#include <new>

#include "platform/process.h"
#include "plugin/template_op.h"
#include "plugin/template_read.h"
#include "support/err_obj.h"
#include "support/log_module.h"
#include "xmlconfig/xml_config.h"

namespace {

constexpr const WideChar* kSource = WIDE(".\\Quorvil");

// The fixed line numbers the log lines carry after kSource: part of the
// messages, not places in this file.
constexpr int kLineFirstPartFound = 96;
constexpr int kLineAttachmentFound = 101;
constexpr int kLineDecoded = 119;
constexpr int kLineDecodedSized = 133;
constexpr int kLineOnlyEnvelope = 145;
constexpr int kLineNoMimePart = 151;
constexpr int kLineNoAttachmentAttribute = 156;
constexpr int kLineNotModified = 163;
constexpr int kLineNotTemplateConfig = 168;

// The result of a TemplateConfig without its "Attachment" marker.
constexpr int32_t kResultNoAttachmentAttribute = 2;

// What a command carries, read from the host in the order it is asked for.
struct Command {
  WideString name;
  AttributeMap attributes;
  CommandContext* context = nullptr;
  WideString text;
  struct soap* allocation = nullptr;  // the host's context, for decoded bytes
};

// Reading the command.
Command ReadCommand(HostCommand* host);
WideString ReadText(CommandContext* context);
WideString CommandText(const unsigned char* buffer, int32_t size);
bool IsModifiedTemplateConfig(const Command& command);
// Handling a TemplateConfig.
int32_t HandleTemplateConfig(Command& command);
const struct soap_multipart* AttachmentPart(CommandContext* context, int* missingLine);
DecodedTemplate DecodePart(struct soap* allocation, const struct soap_multipart* part);
WideString ScheduleId(const WideString& commandText);
int32_t Dispatch(const WideString& endpoint, const DecodedTemplate& decoded, const WideChar* scheduleId);
// Small helpers.
void LogAt(const WideChar* format, int line);
void LogAttachmentFound(int line);
bool EqualsIgnoringCase(const WideString& a, const WideChar* b);
bool IsExactlyTrue(const AttributeMap& attributes, const WideChar* key);
bool Usable(const struct soap_multipart* part);

}  // namespace

void HandleCommand(HostCommand* host) {
  platform::SetFaultTranslator(TranslateStructuredException);
  Command command = ReadCommand(host);
  if (!IsModifiedTemplateConfig(command)) return;
  int32_t result = HandleTemplateConfig(command);
  int32_t resultSize = sizeof result;
  command.context->SetResult(&result, &resultSize);
}

namespace {

Command ReadCommand(HostCommand* host) {
  Command command;
  host->GetName(command.name);
  AttributeSourceOf(*host).FillAttributes(command.attributes);
  command.context = host->GetContext();
  command.text = ReadText(command.context);
  command.allocation = command.context->GetRequest()->GetSoap();
  return command;
}

WideString ReadText(CommandContext* context) {
  const int32_t dataSize = context->GetRequest()->GetDataSize();
  // Two spare zero bytes past what the host is told: a text without its
  // terminator still ends inside the buffer. A size that cannot be had reads
  // as an empty command text.
  const size_t bytes = dataSize > 0 ? static_cast<size_t>(dataSize) : 0;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bytes + 2]());
  if (buffer == nullptr) return WideString();
  int32_t size = dataSize;
  context->ReadData(buffer.get(), &size);
  return CommandText(buffer.get(), dataSize);
}

// The command text as the host wrote it: read up to the first zero unit
// within the bytes it was given, whatever their count.
WideString CommandText(const unsigned char* buffer, int32_t size) {
  WideString text;
  if (buffer == nullptr || size < 2) return text;
  const size_t units = static_cast<size_t>(size) / 2;
  text.resize(units);
  std::memcpy(&text[0], buffer, units * sizeof(WideChar));
  const size_t nul = text.find(WIDE('\0'));
  if (nul != WideString::npos) text.resize(nul);
  return text;
}

// Logs the command; true when it is a TemplateConfig marked as modified.
bool IsModifiedTemplateConfig(const Command& command) {
  mainLog.Print(WIDE("TemplateConfig----wsxml = %s"), command.text.c_str());
  mainLog.Print(WIDE("TemplateConfig----name = %s"), command.name.c_str());
  if (!EqualsIgnoringCase(command.name, WIDE("TemplateConfig"))) {
    LogAt(WIDE("i can not find command name! in %s(%d)"), kLineNotTemplateConfig);
    return false;
  }
  if (!IsExactlyTrue(command.attributes, WIDE("Modified"))) {
    LogAt(WIDE("i can not find modified! in %s(%d)"), kLineNotModified);
    return false;
  }
  return true;
}

// The result the host is given for a modified TemplateConfig.
int32_t HandleTemplateConfig(Command& command) {
  if (!IsExactlyTrue(command.attributes, WIDE("Attachment"))) {
    LogAt(WIDE("i can not find attachment attributes! in %s(%d)"), kLineNoAttachmentAttribute);
    return kResultNoAttachmentAttribute;
  }
  const WideString& endpoint = command.attributes[WIDE("EndPoint")];
  int missingLine = 0;
  const struct soap_multipart* part = AttachmentPart(command.context, &missingLine);
  // From here on only the plug-in runs, and libxml2 reports what it meets on
  // standard error: a pipe the host's reader has left must not end the host.
  platform::BrokenPipeGuard quiet;
  if (part == nullptr) {
    // The server still hears of the command (as progress -2); the answer
    // does not change the result.
    DispatchTemplate(endpoint, nullptr, nullptr);
    LogAt(WIDE("i can not find attachment! in %s(%d)"), missingLine);
    return 0;
  }
  const DecodedTemplate decoded = DecodePart(command.allocation, part);
  const WideString scheduleId = ScheduleId(command.text);
  return Dispatch(endpoint, decoded, scheduleId.c_str());
}

// The attachment is the part after the SOAP envelope. Null when there is no
// part the plug-in can read, with `missingLine` naming which was missing.
const struct soap_multipart* AttachmentPart(CommandContext* context, int* missingLine) {
  struct soap* received = context->GetRequest()->GetReceivedSoap();
  const struct soap_multipart* first = received != nullptr ? received->mime.list : nullptr;
  if (first == nullptr) {
    *missingLine = kLineNoMimePart;
    return nullptr;
  }
  LogAttachmentFound(kLineFirstPartFound);
  const struct soap_multipart* part = first->next;
  if (!Usable(part)) {
    *missingLine = kLineOnlyEnvelope;
    return nullptr;
  }
  LogAttachmentFound(kLineAttachmentFound);
  return part;
}

// The template's bytes, with the transfer encoding undone.
DecodedTemplate DecodePart(struct soap* allocation, const struct soap_multipart* part) {
  if (part->encoding == SOAP_MIME_QUOTED_PRINTABLE) {
    mainLog.Print(WIDE("before decoder"));
  } else if (part->encoding != SOAP_MIME_BASE64) {
    mainLog.Print(WIDE("not base64 encoding value:%d "), static_cast<int>(part->encoding));
  }
  const DecodedTemplate decoded =
      DecodeTransferEncoding(allocation, part->ptr, part->size, part->encoding);
  LogAttachmentFound(kLineDecoded);
  LogAttachmentFound(kLineDecodedSized);
  return decoded;
}

WideString ScheduleId(const WideString& commandText) {
  WideString scheduleId;
  CXmlConfig(commandText).GetString(WIDE("/TemplateConfig/ScheduleId"), scheduleId);
  return scheduleId;
}

// Dispatches the decoded template. Bytes that are valid UTF-8 without a zero
// byte are the very text their UTF-16 form would be, and go as they are;
// only others are made into UTF-16 text (ReadTemplateText).
int32_t Dispatch(const WideString& endpoint, const DecodedTemplate& decoded, const WideChar* scheduleId) {
  const TemplateText text = ReadTemplateText(decoded);
  if (text.isWide) return DispatchTemplate(endpoint, text.wide.c_str(), scheduleId);
  return DispatchUtf8Template(endpoint, text.utf8, text.utf8Size, scheduleId);
}

// A line that names its place: `format` ends in "%s(%d)".
void LogAt(const WideChar* format, int line) { mainLog.Print(format, kSource, line); }

void LogAttachmentFound(int line) { LogAt(WIDE("yes,attachment not null in%s(%d)"), line); }

bool EqualsIgnoringCase(const WideString& a, const WideChar* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    WideChar x = a[i], y = b[i];
    if (x >= WIDE('A') && x <= WIDE('Z')) x = static_cast<WideChar>(x + 32);
    if (y >= WIDE('A') && y <= WIDE('Z')) y = static_cast<WideChar>(y + 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

bool IsExactlyTrue(const AttributeMap& attributes, const WideChar* key) {
  const auto it = attributes.find(key);
  return it != attributes.end() && it->second == WIDE("true");
}

// A part the plug-in can read: bytes present and a size the 32-bit counts of
// the decoders can hold.
bool Usable(const struct soap_multipart* part) {
  return part != nullptr && part->ptr != nullptr && part->size <= kLargestAttachment;
}

}  // namespace
