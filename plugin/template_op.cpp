#include "plugin/template_op.h"

#include <libxml/tree.h>

#include <memory>
#include <new>

#include "service/call_set.h"
#include "support/format_string.h"
#include "support/log_module.h"
#include "support/machine_id.h"
#include "support/text_conversion.h"
#include "xmlconfig/xml_doc.h"

namespace {

constexpr const WideChar* kSource = WIDE(".\\TemplateOp");

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

// ReshapeTemplate of a parsed template, up to its serialisation in `dump`;
// the document is released as soon as that is taken.
bool Reshape(std::unique_ptr<CXmlDoc> document, XmlDump* dump) {
  CXmlDoc& xml = *document;
  if (xml.Select(WIDE("/Root")) != 0) return false;
  xmlNodePtr root = xml.nodeSet->nodeTab[0];
  xml.SetAttribute(WIDE("Template"), WIDE("true"));
  xml.SetAttribute(WIDE("OS"), WIDE("All"));

  xml.Select(WIDE("/Root/*"));
  if (xml.GetAttribute(WIDE("ns")) == WIDE("CSC")) {
    xmlNodePtr wrapper = xml.AddChild(WIDE("CSCTemplateConfig"), WIDE(""), root);
    if (wrapper != nullptr) {
      xml.SetNodeAttribute(WIDE("ns"), WIDE("CSC"), wrapper);
      xml.SetNodeAttribute(WIDE("Modified"), WIDE("true"), wrapper);
      xml.MoveSelectedElementsUnder(wrapper);
    }
  }
  // Dump's serialisation, but made wide only once the tree is gone: the two
  // are the largest things a command holds. A document the library could not
  // serialise (memory, as a 32-bit host meets it with large templates) has
  // nothing to deliver either.
  if (!dump->Write(xml.doc)) return false;
  document.reset();
  return true;
}

// ReshapeTemplate's payload, made wide from the dump.
bool ReshapeWide(std::unique_ptr<CXmlDoc> document, WideString* payload) {
  XmlDump dump;
  if (!Reshape(std::move(document), &dump)) return false;
  try {
    *payload = dump.TakeWide();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void LogDispatch(const WideString& endpoint, const WideChar* scheduleId) {
  mainLog.Print(WIDE("begin >>>>dispatch attachment template in %s(%d)"), kSource, 58);
  mainLog.Print(WIDE("endpoint:%s"), endpoint.c_str());
  mainLog.Print(WIDE("scheduleId:%s"), scheduleId);
}

// DispatchTemplate once its lines are logged and the template is parsed.
int32_t Deliver(const WideString& endpoint, bool haveTemplate, std::unique_ptr<CXmlDoc> document,
                const WideChar* scheduleId) {
  int32_t answer = kNotDelivered;
  // The payload goes to the call in the width its runtime holds it in, made
  // straight from the dump's UTF-8 (XmlDump::TakeWchar).
  XmlDump dump;
  WcharText payload;
  if (!Reshape(std::move(document), &dump) || !(payload = dump.TakeWchar())) {
    ReportProgress(endpoint, scheduleId, -2, nullptr);
    return answer;
  }
  if (scheduleId == nullptr || !haveTemplate) {
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

bool ReshapeTemplate(const WideString& templateText, WideString* payload) {
  return ReshapeTemplate(templateText.c_str(), payload);
}

bool ReshapeTemplate(const WideChar* templateText, WideString* payload) {
  return ReshapeWide(std::make_unique<CXmlDoc>(templateText), payload);
}

bool ReshapeUtf8Template(const char* utf8, size_t size, WideString* payload) {
  return ReshapeWide(std::make_unique<CXmlDoc>(utf8, size), payload);
}

int32_t DispatchTemplate(const WideString& endpoint, const WideChar* templateText,
                         const WideChar* scheduleId) {
  LogDispatch(endpoint, scheduleId);
  mainLog.Print(WIDE("-----xIn:%s"), templateText);
  return Deliver(endpoint, templateText != nullptr, std::make_unique<CXmlDoc>(templateText), scheduleId);
}

int32_t DispatchUtf8Template(const WideString& endpoint, const char* utf8, size_t size,
                             const WideChar* scheduleId) {
  LogDispatch(endpoint, scheduleId);
  mainLog.PrintUtf8(WIDE("-----xIn:%s"), utf8, size);
  return Deliver(endpoint, true, std::make_unique<CXmlDoc>(utf8, size), scheduleId);
}
