// One parsed XML document with its XPath context and current selection.
#include "xmlconfig/xml_doc.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>

#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/utf.h"
#include "support/text_conversion.h"
#include "xmlconfig/decimal_text.h"

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

// libxml2 sets up its globals on the first xmlInitParser, which is not safe
// to race: it runs at load, before any host thread can parse.
const struct ParserSetUp {
  ParserSetUp() { xmlInitParser(); }
} g_parserSetUp;

// Only the network is named; everything else that would fetch or substitute
// is off, and HUGE stays off so the parser's own size limits hold.
constexpr int kParseOptions = XML_PARSE_NONET;

// The text comes from the network, and a host may have changed libxml2's
// process-wide defaults (entity substitution, DTD loading, validation, blank
// handling, SAX1). Those are copied into every new parser context, so ours
// puts each of them back explicitly before parsing.
xmlDocPtr ParseUntrusted(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return nullptr;
  xmlInitParser();
  xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
  if (context == nullptr) return nullptr;
  xmlSAXVersion(context->sax, 2);
  xmlCtxtUseOptions(context, kParseOptions);
  context->options = kParseOptions;
  context->replaceEntities = 0;
  context->loadsubset = 0;
  context->validate = 0;
  context->recovery = 0;
  context->pedantic = 0;
  context->keepBlanks = 1;
  context->sax->ignorableWhitespace = context->sax->characters;
  xmlParseDocument(context);
  xmlDocPtr doc = context->myDoc;
  if (!context->wellFormed && doc != nullptr) {
    xmlFreeDoc(doc);
    doc = nullptr;
  }
  context->myDoc = nullptr;
  xmlFreeParserCtxt(context);
  return doc;
}

// Measures what entity references add when the library expands them on a
// read (xmlNodeListGetString with inline set, xmlGetProp, XPath string
// values). Counts saturate just above the limit so no walk runs away.
class ExpansionMeter {
 public:
  explicit ExpansionMeter(xmlDocPtr doc) : doc_(doc) {}

  // What the references directly in `list` add to a read of that list.
  size_t ReferenceBytes(xmlNodePtr list) {
    size_t total = 0;
    for (xmlNodePtr node = list; node != nullptr && total <= kXmlEntityExpansionLimit; node = node->next) {
      if (node->type == XML_ENTITY_REF_NODE) total = Add(total, ReferenceSize(node));
    }
    return total;
  }

  // What every reference in the document adds, all reads together.
  size_t DocumentBytes() {
    return SumOverTree(doc_->children, [this](xmlNodePtr node) {
      if (node->type == XML_ENTITY_REF_NODE) return ReferenceSize(node);
      size_t total = 0;
      if (node->type == XML_ELEMENT_NODE) {
        for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
          total = Add(total, ReferenceBytes(attribute->children));
        }
      }
      return total;
    });
  }

 private:
  static size_t Add(size_t a, size_t b) {
    const size_t cap = kXmlEntityExpansionLimit + 1;
    return (a >= cap || b >= cap - a) ? cap : a + b;
  }

  size_t ReferenceSize(xmlNodePtr reference) {
    xmlEntityPtr entity = xmlGetDocEntity(doc_, reference->name);
    if (entity == nullptr) {
      return reference->content ? std::strlen(reinterpret_cast<const char*>(reference->content)) : 0;
    }
    auto known = sizes_.find(entity);
    if (known != sizes_.end()) return known->second;
    // A loop, or the library's own marker of an entity being built.
    if (entity->children == reinterpret_cast<xmlNodePtr>(-1)) return kXmlEntityExpansionLimit + 1;
    sizes_[entity] = kXmlEntityExpansionLimit + 1;
    const size_t size = ContentBytes(entity->children);
    sizes_[entity] = size;
    return size;
  }

  // The text of a whole list with its descendants, references expanded.
  size_t ContentBytes(xmlNodePtr list) {
    return SumOverTree(list, [this](xmlNodePtr node) -> size_t {
      switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          return node->content != nullptr ? std::strlen(reinterpret_cast<const char*>(node->content)) : 0;
        case XML_ENTITY_REF_NODE:
          return ReferenceSize(node);
        default:
          return 0;
      }
    });
  }

  // `bytes` of every node of `list` and of the elements' descendants, in
  // document order, without recursion; stops once past the limit.
  template <typename Bytes>
  static size_t SumOverTree(xmlNodePtr list, Bytes bytes) {
    size_t total = 0;
    std::vector<xmlNodePtr> parents;
    xmlNodePtr node = list;
    while (total <= kXmlEntityExpansionLimit) {
      if (node == nullptr) {
        if (parents.empty()) break;
        node = parents.back()->next;
        parents.pop_back();
        continue;
      }
      total = Add(total, bytes(node));
      if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
        parents.push_back(node);
        node = node->children;
      } else {
        node = node->next;
      }
    }
    return total;
  }

  xmlDocPtr doc_;
  std::unordered_map<xmlEntityPtr, size_t> sizes_;
};

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

// Splits name[k] into the name and the index text after the first "[".
std::string SegmentName(const WideString& segment) {
  return ToUtf8(segment.substr(0, segment.find(WIDE('['))));
}

}  // namespace

CXmlDoc::CXmlDoc(const WideString& text) : CXmlDoc(text.c_str()) {}

CXmlDoc::CXmlDoc(const WideChar* text)
    : doc(nullptr), nodeSet(nullptr), xpathContext(nullptr), xpathResult(nullptr), nameMode(false) {
  doc = ParseUntrusted(ToUtf8(text));
  // Entity references stand only in a document with a document type; the
  // walk over every node is left to those.
  if (doc != nullptr && (doc->intSubset != nullptr || doc->extSubset != nullptr) &&
      ExpansionMeter(doc).DocumentBytes() > kXmlEntityExpansionLimit) {
    xmlFreeDoc(doc);
    doc = nullptr;
  }
  xpathContext = xmlXPathNewContext(doc);
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

void CXmlDoc::ReleaseSelection() {
  if (xpathResult != nullptr) xmlXPathFreeObject(xpathResult);
  xpathResult = nullptr;
  nodeSet = nullptr;
}

int CXmlDoc::Select(const WideString& path) {
  std::string expression = ToUtf8(path);
  if (xpathContext == nullptr) return -1;
  ReleaseSelection();
  const size_t name = expression.find("/name()");
  nameMode = name != std::string::npos;
  if (nameMode) expression.resize(name);
  xpathResult = xmlXPathEvalExpression(Chars(expression), xpathContext);
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
  if (ExpansionMeter(doc).ReferenceBytes(node->children) > kXmlEntityExpansionLimit) return WideString();
  return TakeLibraryString(xmlNodeListGetString(doc, node->children, 1));
}

WideString CXmlDoc::GetAttribute(const WideString& name) const {
  if (nodeSet == nullptr) return WideString();
  xmlNodePtr node = nodeSet->nodeTab[0];
  const std::string narrowName = ToUtf8(name);
  xmlAttrPtr attribute = xmlHasProp(node, Chars(narrowName));
  if (attribute != nullptr && attribute->type == XML_ATTRIBUTE_NODE &&
      ExpansionMeter(doc).ReferenceBytes(attribute->children) > kXmlEntityExpansionLimit) {
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
  if (doc == nullptr) return WideString();
  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc, &bytes, &size);
  WideString result;
  if (bytes != nullptr && size > 0) {
    result = platform::Utf8ToUtf16(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  }
  if (bytes != nullptr) xmlFree(bytes);
  return result;
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

void CXmlDoc::SaveFile(const WideString& fileName) const {
  // The system's narrow code page is UTF-8 here.
  std::vector<char> narrow(3 * fileName.size() + 3, 0);
  platform::Utf16ToUtf8(fileName.data(), fileName.size(), narrow.data());
  if (doc == nullptr || narrow[0] == 0) return;
  xmlSaveFile(narrow.data(), doc);
}
