// A probe plug-in for the agent host's tests: writes down everything it reads
// through the host's interfaces and answers with a result chosen by the test.
//
// QUORVIL_PROBE_RECORD  file that receives one record per PostCommand
// QUORVIL_PROBE_RESULT  value for SetResult; no SetResult when unset
// QUORVIL_PROBE_THROW   "fault" (a real access violation), "errobj" or "std"
// QUORVIL_PROBE_SPOIL   decode text that is not base64 in the receiving context,
//                       which leaves the runtime's error there
#include <stdsoap2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fault_translator.h"
#include "plugin/exports.h"
#include "support/err_obj.h"
#include "support/err_report.h"
#include "text/utf.h"

namespace {

std::string Hex(const char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out.empty() ? "-" : out;
}

std::string Hex(const WideString& text) {
  const std::string utf8 = unicode::Utf16ToUtf8(text.data(), text.size());
  return Hex(utf8.data(), utf8.size());
}

}  // namespace

QUORVIL_EXPORT int InitModule() { return 0; }
QUORVIL_EXPORT int UninitModule() { return 0; }
QUORVIL_EXPORT int GetInfo() { return 0; }
#ifndef PROBE_WITHOUT_RUN_TIME_ROUTINE
QUORVIL_EXPORT int RunTimeRoutine() { return 0; }
#endif
QUORVIL_EXPORT int GetPluginVersion() { return 0; }
QUORVIL_EXPORT int SetDbg() { return 0; }

QUORVIL_EXPORT int PostCommand(HostCommand* command) {
  std::string record = "command\n";
  WideString name;
  command->GetName(name);
  record += "name " + Hex(name) + "\n";
  AttributeMap attributes;
  AttributeSourceOf(*command).FillAttributes(attributes);
  for (const auto& a : attributes) record += "attr " + Hex(a.first) + " " + Hex(a.second) + "\n";

  CommandContext* context = command->GetContext();
  const int32_t dataSize = context->GetRequest()->GetDataSize();
  record += "datasize " + std::to_string(dataSize) + "\n";
  // Filled with a marker so that a missing terminator shows.
  std::vector<unsigned char> buffer(dataSize > 0 ? static_cast<size_t>(dataSize) : 0, 0xAB);
  int32_t size = dataSize;
  context->ReadData(buffer.data(), &size);
  WideString text;
  bool terminated = false;
  for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
    const WideChar unit = static_cast<WideChar>(buffer[i] | (buffer[i + 1] << 8));
    if (unit == 0) {
      terminated = i + 2 == buffer.size();
      break;
    }
    text += unit;
  }
  record += "data " + Hex(text) + "\n";
  record += std::string("terminated ") + (terminated ? "1" : "0") + "\n";

  struct soap* soap = context->GetRequest()->GetSoap();
  struct soap* received = context->GetRequest()->GetReceivedSoap();
  const bool sameRequest = context->GetRequest() == context->GetRequest();
  record += std::string("samerequest ") + (sameRequest ? "1" : "0") + "\n";
  record += std::string("allocates ") + (soap != nullptr && soap_malloc(soap, 64) != nullptr ? "1" : "0") + "\n";
  int parts = 0;
  std::string partLines;
  for (const soap_multipart* part = received != nullptr ? received->mime.list : nullptr;
       part != nullptr; part = part->next) {
    ++parts;
    const bool zeroEnded = part->ptr == nullptr || part->ptr[part->size] == '\0';
    partLines += "part " + std::to_string(static_cast<int>(part->encoding)) + " " +
                 std::to_string(part->size) + " " + Hex(part->ptr, part->ptr ? part->size : 0) +
                 " " + (zeroEnded ? "1" : "0") + "\n";
  }
  record += "parts " + std::to_string(parts) + "\n" + partLines;

  if (const char* path = std::getenv("QUORVIL_PROBE_RECORD")) {
    if (std::FILE* out = std::fopen(path, "ab")) {
      std::fwrite(record.data(), 1, record.size(), out);
      std::fclose(out);
    }
  }

  if (std::getenv("QUORVIL_PROBE_SPOIL") != nullptr && received != nullptr) {
    int decoded = 0;
    soap_base642s(received, "#not base64#", nullptr, 0, &decoded);
  }

  const char* fault = std::getenv("QUORVIL_PROBE_THROW");
  // Its errors report on its own "DbgPlugin" channel, as the plug-in's do.
  if (fault != nullptr) ErrObj::SetReporter(ReportOnDbgLog);
  if (fault != nullptr && std::strcmp(fault, "fault") == 0) {
    platform::SetFaultTranslator(TranslateStructuredException);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  } else if (fault != nullptr && std::strcmp(fault, "errobj") == 0) {
    throw ErrObj(5u, true);
  } else if (fault != nullptr && std::strcmp(fault, "std") == 0) {
    throw std::runtime_error("probe gave up");
  }

  if (const char* result = std::getenv("QUORVIL_PROBE_RESULT")) {
    const int32_t value = static_cast<int32_t>(std::strtol(result, nullptr, 10));
    int32_t four = 4;
    context->SetResult(&value, &four);
  }
  return 0;
}
