// The XML configuration object: IConfig over one parsed document.
#include "xmlconfig/xml_config.h"

#include "xmlconfig/decimal_text.h"

namespace {

bool ReadBool(const WideString& text) {
  return text == WIDE("true") || text == WIDE("True");
}

// Pieces between "/" without their outer U+0020 spaces; empty ones dropped.
std::vector<WideString> PathSegments(const WideString& path) {
  std::vector<WideString> segments;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(WIDE('/'), start);
    if (end == WideString::npos) end = path.size();
    size_t first = start;
    size_t last = end;
    while (first < last && path[first] == WIDE(' ')) ++first;
    while (last > first && path[last - 1] == WIDE(' ')) --last;
    if (last > first) segments.push_back(path.substr(first, last - first));
    start = end + 1;
  }
  return segments;
}

}  // namespace

CXmlConfig::CXmlConfig(const WideString& xml) : document(new CXmlDoc(xml)) {}

CXmlConfig::~CXmlConfig() {
  document.reset();
}

int CXmlConfig::GetInt(const WideString& path, int32_t& value) {
  const WideString selector = path;
  document->Select(selector);
  value = ReadDecimal(document->GetValue(0));
  return 0;
}

int CXmlConfig::GetIntAlt(const WideString& path, int32_t& value) {
  return GetInt(path, value);
}

int CXmlConfig::GetString(const WideString& path, WideString& value) {
  const WideString selector = path;
  document->Select(selector);
  value = document->GetValue(0);
  return 0;
}

int CXmlConfig::GetStringAlt(const WideString& path, WideString& value) {
  return GetString(path, value);
}

int CXmlConfig::GetBOOL(const WideString& path, int32_t& value) {
  bool flag = false;
  GetBool(path, flag);
  value = flag ? 1 : 0;
  return 0;
}

int CXmlConfig::GetBool(const WideString& path, bool& value) {
  const WideString selector = path;
  document->Select(selector);
  value = ReadBool(document->GetValue(0));
  return 0;
}

int CXmlConfig::GetBoolList(const WideString& path, std::vector<bool>& values) {
  const WideString selector = path;
  if (document->Select(selector) != 0) return 0;
  for (int i = 0; i < document->nodeSet->nodeNr; ++i) values.push_back(ReadBool(document->GetValue(i)));
  return 0;
}

int CXmlConfig::GetStringList(const WideString& path, std::vector<WideString>& values) {
  const WideString selector = path;
  if (document->Select(selector) != 0) return 0;
  for (int i = 0; i < document->nodeSet->nodeNr; ++i) values.push_back(document->GetValue(i));
  return 0;
}

int CXmlConfig::GetIntList(const WideString& path, std::vector<int32_t>& values) {
  const WideString selector = path;
  if (document->Select(selector) != 0) return 0;
  for (int i = 0; i < document->nodeSet->nodeNr; ++i) values.push_back(ReadDecimal(document->GetValue(i)));
  return 0;
}

int CXmlConfig::GetStringListAlt(const WideString& path, std::vector<WideString>& values) {
  return GetStringList(path, values);
}

int CXmlConfig::SetString(const WideString& path, const WideString& value) {
  const WideString selector = path;
  const std::vector<WideString> segments = PathSegments(selector);
  if (document->Select(selector) == 0) {
    document->SetNodeContent(value, document->nodeSet->nodeTab[0]);
    return E_NOTIMPL;
  }
  // A path without segments names nothing to create.
  if (segments.empty() || document->doc == nullptr) return E_NOTIMPL;
  // The walk starts at the root whatever it is called.
  xmlNodePtr current = xmlDocGetRootElement(document->doc);
  if (current == nullptr) current = document->CreateRoot(segments[0]);
  if (current == nullptr) return E_NOTIMPL;
  for (size_t i = 1; i < segments.size(); ++i) {
    const WideString& segment = segments[i];
    if (segment[0] == WIDE('@')) {
      document->SetNodeAttribute(segment.substr(1), value, current);
      return E_NOTIMPL;
    }
    if (segment[0] == WIDE('.')) {
      document->SetNodeContent(value, current);
      return E_NOTIMPL;
    }
    xmlNodePtr child = document->FindChild(segment, current);
    if (child == nullptr) child = document->AddChild(segment, WideString(), current);
    if (child == nullptr) return E_NOTIMPL;
    current = child;
    if (i + 1 == segments.size()) document->SetNodeContent(value, current);
  }
  return E_NOTIMPL;
}

int CXmlConfig::Unsupported11(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported12(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported13(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported14(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported15(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported16(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported17(const WideString&, const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported18(const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported19(const WideString&) { return E_NOTIMPL; }

int CXmlConfig::GetCount(const WideString& path, int32_t& count) {
  const WideString selector = path;
  count = document->Select(selector) == 0 ? document->nodeSet->nodeNr : 0;
  return count;
}

int CXmlConfig::Unsupported22(const WideString&) { return E_NOTIMPL; }
int CXmlConfig::Unsupported23() { return E_NOTIMPL; }

int CXmlConfig::Save() {
  document->SaveFile(filePath);
  return 0;
}

int CXmlConfig::GetNodeXml(const WideString& path, WideString& xml) {
  const WideString selector = path;
  document->Select(selector);
  xml = document->DumpNode();
  return 0;
}
