// One parsed XML document with its XPath context and current selection.
#include "xmlconfig/xml_doc.h"

#include <libxml/parser.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/text_conversion.h"
#include "text/utf.h"
#include "xmlconfig/child_path.h"
#include "xmlconfig/decimal_text.h"
#include "xmlconfig/xml_dump.h"
#include "xmlconfig/xml_encoding.h"
#include "xmlconfig/xml_memory.h"

namespace {

const xmlChar* Chars(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}

WideString TakeLibraryString(xmlChar* text) {
  if (text == nullptr) return WideString();
  WideString result = FromUtf8(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return result;
}

// Node kinds whose `children` is a list of content nodes. An entity
// reference's children point into the DTD, and a namespace node is an xmlNs
// that only shares the first fields of a node.
bool HasContentList(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      return true;
    default:
      return false;
  }
}

// xmlNodeSetContent frees an entity reference's borrowed content and the
// declaration it points to; only these kinds are safe to give it.
bool ContentReplaceable(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      return true;
    default:
      return false;
  }
}

// Whether `node` is `other` or one of its ancestors.
bool Holds(xmlNodePtr node, xmlNodePtr other) {
  for (xmlNodePtr up = other; up != nullptr; up = up->parent) {
    if (up == node) return true;
  }
  return false;
}

// Copied, not relinked: a copy declares on itself the namespaces it uses from
// outside, and the serialised template carries them. `node` is freed once
// its copy is in.
void MoveElement(xmlNodePtr node, xmlNodePtr parent) {
  if (node == nullptr) return;
  xmlNodePtr copy = xmlDocCopyNode(node, parent->doc, 1);
  if (copy == nullptr) return;
  if (xmlAddChild(parent, copy) == nullptr) {
    xmlFreeNode(copy);
    return;
  }
  xmlUnlinkNode(node);
  xmlFreeNode(node);
}

// xmlXPathEvalExpression; a selection the library could not make whole (a
// node set that could not grow) is no selection.
xmlXPathObjectPtr Evaluate(const std::string& expression, xmlXPathContextPtr context) {
  const XmlAllocationWatch watch;
  xmlXPathObjectPtr result = xmlXPathEvalExpression(Chars(expression), context);
  if (result != nullptr && watch.Failed()) {
    xmlXPathFreeObject(result);
    result = nullptr;
  }
  return result;
}

// Splits name[k] into the name and the index text after the first "[".
std::string SegmentName(const WideString& segment) {
  return ToUtf8(segment.substr(0, segment.find(WIDE('['))));
}

}  // namespace

CXmlDoc::CXmlDoc(const WideString& text) : CXmlDoc(text.c_str()) {}

CXmlDoc::CXmlDoc(const WideChar* text, XmlParseReport* report)
    : doc(nullptr), nodeSet(nullptr), xpathContext(nullptr), xpathResult(nullptr), nameMode(false),
      inputBytes_(0) {
  const std::string bytes = ToUtf8(text);
  Parse(bytes.data(), bytes.size(), report);
}

CXmlDoc::CXmlDoc(const char* utf8, size_t size, XmlParseReport* report)
    : doc(nullptr), nodeSet(nullptr), xpathContext(nullptr), xpathResult(nullptr), nameMode(false),
      inputBytes_(0) {
  Parse(utf8, size, report);
}

void CXmlDoc::Parse(const char* bytes, size_t size, XmlParseReport* report) {
  inputBytes_ = size;
  if (report != nullptr) {
    *report = XmlParseReport();
    report->inputBytes = size;
  }
  // The text is UTF-16 whatever its declaration names. A UTF-8 one the library
  // reads as it is; any other would make it decode the UTF-8 bytes a second
  // time, so it is ignored, and kept only as the name the dump declares.
  const std::string declared = DeclaredEncoding(bytes, size);
  const bool foreign = !declared.empty() && !NamesUtf8(declared);
  doc = ParseUntrusted(bytes, size, foreign ? XML_PARSE_IGNORE_ENC : 0, report);
  if (doc != nullptr && foreign && doc->encoding == nullptr) {
    doc->encoding = xmlStrdup(Chars(declared));
  }
  // Entity references stand only in a document with a document type; the
  // walk over every node is left to those.
  if (doc != nullptr && (doc->intSubset != nullptr || doc->extSubset != nullptr) &&
      DocumentExpansion(doc, ExpansionLimit()) > ExpansionLimit()) {
    xmlFreeDoc(doc);
    doc = nullptr;
    if (report != nullptr) {
      report->expansionRefused = true;
      report->expansionLimit = ExpansionLimit();
    }
  }
}

CXmlDoc::~CXmlDoc() {
  if (xpathResult != nullptr) {
    xmlXPathFreeObject(xpathResult);
    xpathResult = nullptr;
  }
  if (xpathContext != nullptr) {
    xmlXPathFreeContext(xpathContext);
    xpathContext = nullptr;
  }
  if (doc != nullptr) xmlFreeDoc(doc);
}

size_t CXmlDoc::ExpansionLimit() const {
  return kXmlEntityAmplification * inputBytes_ + kXmlEntityAllowance;
}

void CXmlDoc::ReleaseSelection() {
  if (xpathResult != nullptr) xmlXPathFreeObject(xpathResult);
  xpathResult = nullptr;
  nodeSet = nullptr;
}

int CXmlDoc::Select(const WideString& path) { return Select(path, SIZE_MAX); }

int CXmlDoc::SelectFirst(const WideString& path) { return Select(path, 1); }

int CXmlDoc::Select(const WideString& path, size_t most) {
  std::string expression = ToUtf8(path);
  const size_t name = expression.find("/name()");
  if (name != std::string::npos) expression.resize(name);
  std::vector<std::string> steps;
  const bool childPath = ChildPathSteps(expression, &steps);
  // Made on the first selection that needs one: most documents never do.
  if (!childPath && xpathContext == nullptr) xpathContext = xmlXPathNewContext(doc);
  if (!childPath && xpathContext == nullptr) return -1;
  ReleaseSelection();
  nameMode = name != std::string::npos;
  xpathResult = childPath ? SelectChildPath(doc, steps, most) : Evaluate(expression, xpathContext);
  if (xpathResult == nullptr) return -3;
  nodeSet = xpathResult->nodesetval;
  if (nodeSet != nullptr && nodeSet->nodeNr > 0 && nodeSet->nodeTab != nullptr) return 0;
  ReleaseSelection();
  return -2;
}

WideString CXmlDoc::GetValue(int index) const {
  if (nodeSet == nullptr || index < 0 || index >= nodeSet->nodeNr) return WideString();
  xmlNodePtr node = nodeSet->nodeTab[index];
  if (node == nullptr || node->type == XML_NAMESPACE_DECL) return WideString();
  if (nameMode) return node->name ? FromUtf8(reinterpret_cast<const char*>(node->name)) : WideString();
  if (!HasContentList(node)) return WideString();
  if (ReferenceExpansion(doc, node->children, ExpansionLimit()) > ExpansionLimit()) {
    return WideString();
  }
  return TakeLibraryString(xmlNodeListGetString(doc, node->children, 1));
}

WideString CXmlDoc::GetAttribute(const WideString& name) const {
  if (nodeSet == nullptr) return WideString();
  xmlNodePtr node = nodeSet->nodeTab[0];
  const std::string narrowName = ToUtf8(name);
  xmlAttrPtr attribute = xmlHasProp(node, Chars(narrowName));
  if (attribute != nullptr && attribute->type == XML_ATTRIBUTE_NODE &&
      ReferenceExpansion(doc, attribute->children, ExpansionLimit()) > ExpansionLimit()) {
    return WideString();
  }
  return TakeLibraryString(xmlGetProp(node, Chars(narrowName)));
}

WideString CXmlDoc::DumpNode() const {
  if (nodeSet == nullptr || nameMode) return WideString();
  WideString result;
  xmlBufferPtr buffer = xmlBufferCreate();
  if (buffer == nullptr) return result;
  if (xmlNodeDump(buffer, doc, nodeSet->nodeTab[0], 0, 0) != -1) {
    result = FromUtf8(reinterpret_cast<const char*>(xmlBufferContent(buffer)));
  }
  xmlBufferFree(buffer);
  return result;
}

WideString CXmlDoc::Dump() const {
  XmlDump dump;
  if (doc == nullptr || !dump.Write(doc)) return WideString();
  return dump.TakeWide();
}

void CXmlDoc::SetAttribute(const WideString& name, const WideString& value) {
  if (nodeSet == nullptr) return;
  SetNodeAttribute(name, value, nodeSet->nodeTab[0]);
}

xmlAttrPtr CXmlDoc::SetNodeAttribute(const WideString& name, const WideString& value, xmlNodePtr node) {
  if (node == nullptr) return nullptr;
  return xmlSetProp(node, Chars(ToUtf8(name)), Chars(ToUtf8(value)));
}

bool CXmlDoc::SelectionInside(xmlNodePtr node) const {
  if (nodeSet == nullptr) return false;
  for (int i = 0; i < nodeSet->nodeNr; ++i) {
    xmlNodePtr selected = nodeSet->nodeTab[i];
    if (selected == nullptr || selected->type == XML_NAMESPACE_DECL) continue;
    for (xmlNodePtr up = selected->parent; up != nullptr; up = up->parent) {
      if (up == node) return true;
    }
  }
  return false;
}

xmlNodePtr CXmlDoc::SetNodeContent(const WideString& text, xmlNodePtr node) {
  if (node == nullptr || !ContentReplaceable(node)) return nullptr;
  // Freeing a selection reads every node in it, so it must go while they live.
  if (SelectionInside(node)) ReleaseSelection();
  xmlNodeSetContent(node, Chars(ToUtf8(text)));
  return node;
}

xmlNodePtr CXmlDoc::AddChild(const WideString& segment, const WideString& value, xmlNodePtr parent) {
  if (parent == nullptr || !HasContentList(parent)) return nullptr;
  const std::string name = SegmentName(segment);
  const std::string content = ToUtf8(value);
  return xmlNewChild(parent, nullptr, Chars(name), content.empty() ? nullptr : Chars(content));
}

xmlNodePtr CXmlDoc::FindChild(const WideString& segment, xmlNodePtr parent) const {
  if (parent == nullptr || !HasContentList(parent)) return nullptr;
  const std::string name = SegmentName(segment);
  WideString indexText;
  const size_t open = segment.find(WIDE('['));
  if (open != WideString::npos) {
    const size_t close = segment.find(WIDE(']'), open + 1);
    indexText = segment.substr(open + 1, close == WideString::npos ? WideString::npos : close - open - 1);
  }
  const int32_t wanted = ReadDecimal(indexText);
  int32_t count = 0;
  for (xmlNodePtr child = parent->children; child != nullptr; child = child->next) {
    if (child->name == nullptr || xmlStrcmp(child->name, Chars(name)) != 0) continue;
    if (wanted == 0) return child;
    if (++count == wanted) return child;
  }
  return nullptr;
}

xmlNodePtr CXmlDoc::CreateRoot(const WideString& name) {
  if (doc == nullptr) return nullptr;
  xmlNodePtr existing = xmlDocGetRootElement(doc);
  if (existing != nullptr) return existing;
  xmlNodePtr root = xmlNewNode(nullptr, Chars(ToUtf8(name)));
  if (root == nullptr) return nullptr;
  xmlDocSetRootElement(doc, root);
  return xmlDocGetRootElement(doc);
}

void CXmlDoc::MoveSelectedElementsUnder(xmlNodePtr parent) {
  if (nodeSet == nullptr) return;
  if (parent == nullptr || parent->type != XML_ELEMENT_NODE) {
    ReleaseSelection();
    return;
  }
  // A selection is in document order, so the elements inside a selected one
  // follow it; each waits to be moved until one outside it shows that it is
  // done with, while it still lives to be asked.
  xmlNodePtr pending = nullptr;
  for (int i = 0; i < nodeSet->nodeNr; ++i) {
    xmlNodePtr node = nodeSet->nodeTab[i];
    if (node == nullptr || node->type != XML_ELEMENT_NODE || Holds(node, parent)) continue;
    if (pending != nullptr && Holds(pending, node)) continue;
    MoveElement(pending, parent);
    pending = node;
  }
  MoveElement(pending, parent);
  // Releasing a selection reads its nodes, and some are freed.
  nodeSet->nodeNr = 0;
  ReleaseSelection();
}

void CXmlDoc::SaveFile(const WideString& fileName) const {
  // The system's narrow code page is UTF-8 here.
  std::vector<char> narrow(3 * fileName.size() + 3, 0);
  unicode::Utf16ToUtf8(fileName.data(), fileName.size(), narrow.data());
  if (doc == nullptr || narrow[0] == 0) return;
  xmlSaveFile(narrow.data(), doc);
}
