#include "plugin/template_op.h"

#include "plugin/template_read.h"
#include "service/call_set.h"
#include "support/format_string.h"
#include "support/log_module.h"
#include "support/machine_id.h"
#include "support/text_conversion.h"

namespace {

constexpr const WideChar* kSource = WIDE(".\\TemplateOp");
// The fixed line number the dispatch line carries after kSource: part of the
// message, not a place in this file.
constexpr int kLineDispatch = 58;

void ReportProgress(const WideString& endpoint, const WideChar* scheduleId, int32_t progress,
                    int32_t* status) {
  const std::string url = ToUtf8(endpoint);
  const int32_t sent = SendTaskRes(scheduleId, url.c_str(), progress);
  if (status != nullptr) *status = sent;
}

}  // namespace

bool BuildTaskStatusDocument(const WideChar* machineId, const WideChar* scheduleId,
                             int32_t progress, WideString* document) {
  WideString text;
  text.reserve(kStatusDocumentUnits);
  text += WIDE("<Root ID=\"");
  if (machineId != nullptr) text += machineId;
  text += WIDE("\"><TaskStatusResponse><ScheduleId>");
  if (scheduleId != nullptr) text += scheduleId;
  text += WIDE("</ScheduleId><Progress>");
  text += FormatString(WIDE("%d"), progress);
  text += WIDE("</Progress></TaskStatusResponse></Root>");
  // A report that does not fit is refused whole, never sent cut short.
  if (text.size() + 1 > kStatusDocumentUnits) return false;
  *document = std::move(text);
  return true;
}

int32_t SendTaskRes(const WideChar* scheduleId, const char* endpoint, int32_t progress) {
  WideChar identity[kMachineIdUnits] = {};
  GetMachineId(identity);
  WideString document;
  if (!BuildTaskStatusDocument(identity, scheduleId, progress, &document)) return 2;
  if (endpoint == nullptr) return 0;
  int32_t r = 0;
  return CallSet(endpoint, document.c_str(), &r);
}

namespace {

void LogDispatch(const WideString& endpoint, const WideChar* scheduleId) {
  mainLog.Print(WIDE("begin >>>>dispatch attachment template in %s(%d)"), kSource, kLineDispatch);
  mainLog.Print(WIDE("endpoint:%s"), endpoint.c_str());
  mainLog.Print(WIDE("scheduleId:%s"), scheduleId);
}

// DispatchTemplate once its lines are logged and the payload made (or not).
int32_t Deliver(const WideString& endpoint, bool made, const WcharText& payload,
                const WideChar* scheduleId) {
  int32_t answer = kNotDelivered;
  if (!made || scheduleId == nullptr) {
    ReportProgress(endpoint, scheduleId, -2, nullptr);
    return answer;
  }
  CallSetWchar(kLocalServiceUrl, payload.get(), &answer);
  mainLog.Print(WIDE("good news ,Client call success"));
  int32_t status = 0;
  ReportProgress(endpoint, scheduleId, 100, &status);
  mainLog.Print(WIDE("SendTaskRes result:{%d}"), status);
  return answer;
}

}  // namespace

int32_t DispatchTemplate(const WideString& endpoint, const WideChar* templateText,
                         const WideChar* scheduleId) {
  LogDispatch(endpoint, scheduleId);
  mainLog.Print(WIDE("-----xIn:%s"), templateText);
  WcharText payload;
  const bool made = templateText != nullptr && ReshapeTemplateForCall(templateText, &payload);
  return Deliver(endpoint, made, payload, scheduleId);
}

int32_t DispatchUtf8Template(const WideString& endpoint, const char* utf8, size_t size,
                             const WideChar* scheduleId) {
  LogDispatch(endpoint, scheduleId);
  mainLog.PrintUtf8(WIDE("-----xIn:%s"), utf8, size);
  WcharText payload;
  const bool made = ReshapeUtf8TemplateForCall(utf8, size, &payload);
  return Deliver(endpoint, made, payload, scheduleId);
}
