// One parsed XML document with its XPath context and current selection.
#include "xmlconfig/xml_doc.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "support/text_conversion.h"
#include "text/utf.h"
#include "xmlconfig/decimal_text.h"
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

// libxml2 sets up its globals on the first xmlInitParser, which is not safe
// to race: it runs at load, before any host thread can parse.
const struct ParserSetUp {
  ParserSetUp() { xmlInitParser(); }
} g_parserSetUp;

// Only the network is named; everything else that would fetch or substitute
// is off, and HUGE stays off so the parser's own size limits hold.
constexpr int kParseOptions = XML_PARSE_NONET;

// The size of one piece of a dump: small enough for a fragmented 32-bit
// address space, large enough that a piece costs nothing next to its text.
constexpr size_t kDumpPieceBytes = 64 * 1024;

// Keeps libxml2's first fatal error, or its first error until a fatal one
// comes, in the XmlParseReport the context's _private names.
void KeepFirstError(void* userData, xmlErrorPtr error) {
  auto* report = static_cast<XmlParseReport*>(static_cast<xmlParserCtxtPtr>(userData)->_private);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (report->errorCode != 0 && (report->errorLevel == XML_ERR_FATAL || error->level != XML_ERR_FATAL)) {
    return;
  }
  report->errorCode = error->code;
  report->errorLevel = error->level;
  report->line = error->line;
  report->column = error->int2;
  report->message = error->message != nullptr ? error->message : "";
  while (!report->message.empty() && (report->message.back() == '\n' || report->message.back() == '\r')) {
    report->message.pop_back();
  }
}

// The text comes from the network, and a host may have changed libxml2's
// process-wide defaults (entity substitution, DTD loading, validation, blank
// handling, SAX1). Those are copied into every new parser context, so ours
// puts each of them back explicitly before parsing.
// `options` adds to kParseOptions. With a `report`, libxml2's errors go to it
// instead of the library's error output.
xmlDocPtr ParseUntrusted(const char* bytes, size_t size, int options, XmlParseReport* report) {
  if (size == 0 || size > static_cast<size_t>(INT_MAX)) return nullptr;
  xmlInitParser();
  xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(bytes, static_cast<int>(size));
  if (context == nullptr) return nullptr;
  xmlSAXVersion(context->sax, 2);
  if (report != nullptr) {
    context->_private = report;
    context->sax->serror = KeepFirstError;
  }
  xmlCtxtUseOptions(context, kParseOptions | options);
  context->options = kParseOptions | options;
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
  ExpansionMeter(xmlDocPtr doc, size_t limit) : doc_(doc), limit_(limit) {}

  // What the references directly in `list` add to a read of that list.
  size_t ReferenceBytes(xmlNodePtr list) {
    size_t total = 0;
    for (xmlNodePtr node = list; node != nullptr && total <= limit_; node = node->next) {
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
  size_t Add(size_t a, size_t b) const {
    const size_t cap = limit_ + 1;
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
    if (entity->children == reinterpret_cast<xmlNodePtr>(-1)) return limit_ + 1;
    sizes_[entity] = limit_ + 1;
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
  size_t SumOverTree(xmlNodePtr list, Bytes bytes) {
    size_t total = 0;
    std::vector<xmlNodePtr> parents;
    xmlNodePtr node = list;
    while (total <= limit_) {
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
  size_t limit_;
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
      ExpansionMeter(doc, ExpansionLimit()).DocumentBytes() > ExpansionLimit()) {
    xmlFreeDoc(doc);
    doc = nullptr;
    if (report != nullptr) {
      report->expansionRefused = true;
      report->expansionLimit = ExpansionLimit();
    }
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

size_t CXmlDoc::ExpansionLimit() const {
  return kXmlEntityAmplification * inputBytes_ + kXmlEntityAllowance;
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
  xpathResult = Evaluate(expression, xpathContext);
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
  if (ExpansionMeter(doc, ExpansionLimit()).ReferenceBytes(node->children) > ExpansionLimit()) {
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
      ExpansionMeter(doc, ExpansionLimit()).ReferenceBytes(attribute->children) > ExpansionLimit()) {
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

int XmlDump::Written(void* dump, const char* bytes, int size) {
  if (size < 0) return -1;
  try {
    static_cast<XmlDump*>(dump)->Append(bytes, static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return size;
}

void XmlDump::Append(const char* bytes, size_t size) {
  while (size > 0) {
    if (pieces_.empty() || pieces_.back().size() >= kDumpPieceBytes) {
      // A sequence cut at the end of a piece moves whole into the next one.
      std::vector<char> next;
      next.reserve(kDumpPieceBytes);
      if (!pieces_.empty()) {
        std::vector<char>& last = pieces_.back();
        const size_t end = unicode::Utf8SafeEnd(last.data(), last.size());
        next.assign(last.begin() + static_cast<std::ptrdiff_t>(end), last.end());
        last.resize(end);
      }
      pieces_.push_back(std::move(next));
    }
    std::vector<char>& piece = pieces_.back();
    const size_t n = std::min(size, kDumpPieceBytes - piece.size());
    piece.insert(piece.end(), bytes, bytes + n);
    bytes += n;
    size -= n;
    bytes_ += n;
  }
}

bool XmlDump::Write(xmlDocPtr doc) {
  pieces_.clear();
  bytes_ = 0;
  // An output buffer that cannot grow for a long value drops it and says so
  // only on the console; the save still answers success.
  const XmlAllocationWatch watch;
  const char* declared = reinterpret_cast<const char*>(doc->encoding);
  const bool foreign = declared != nullptr && !NamesUtf8(declared);
  bool written = true;
  if (foreign) {
    // The declaration the library writes for a document in that encoding;
    // versions and encoding names hold no quotes.
    try {
      std::string line = "<?xml version=\"";
      line += doc->version != nullptr ? reinterpret_cast<const char*>(doc->version) : "1.0";
      line += "\" encoding=\"";
      line += declared;
      line += '"';
      if (doc->standalone == 0) line += " standalone=\"no\"";
      if (doc->standalone == 1) line += " standalone=\"yes\"";
      line += "?>\n";
      Append(line.data(), line.size());
    } catch (const std::bad_alloc&) {
      written = false;
    }
  }
  const int options = XML_SAVE_AS_XML | (foreign ? XML_SAVE_NO_DECL : 0);
  xmlSaveCtxtPtr save = written ? xmlSaveToIO(Written, nullptr, this, foreign ? "UTF-8" : declared, options)
                                : nullptr;
  if (save == nullptr) {
    written = false;
  } else {
    if (xmlSaveDoc(save, doc) < 0) written = false;
    if (xmlSaveClose(save) < 0) written = false;
  }
  if (watch.Failed()) written = false;
  if (!written) {
    pieces_.clear();
    pieces_.shrink_to_fit();
    bytes_ = 0;
  }
  return written;
}

WideString XmlDump::TakeWide() {
  // Converted straight into the text: UTF-8 never gives more units than it
  // has bytes, and each piece ends where a sequence ends.
  WideString text;
  text.resize(bytes_);
  size_t units = 0;
  for (std::vector<char>& piece : pieces_) {
    units += unicode::Utf8ToUtf16(piece.data(), piece.size(), &text[units]);
    std::vector<char>().swap(piece);
  }
  text.resize(units);
  pieces_.clear();
  bytes_ = 0;
  return text;
}

WcharText XmlDump::TakeWchar() {
  // UTF-8 never gives more units than it has bytes; the room that stays
  // unwritten goes back once the text is made.
  WcharText text;
  if (bytes_ < std::numeric_limits<size_t>::max() / sizeof(wchar_t)) {
    text.reset(static_cast<wchar_t*>(std::malloc((bytes_ + 1) * sizeof(wchar_t))));
  }
  if (text != nullptr) {
    size_t units = 0;
    for (std::vector<char>& piece : pieces_) {
      units += unicode::Utf8ToWchar(piece.data(), piece.size(), text.get() + units);
      std::vector<char>().swap(piece);
    }
    text[units] = 0;
    if (units < bytes_) {
      if (void* fitted = std::realloc(text.get(), (units + 1) * sizeof(wchar_t))) {
        static_cast<void>(text.release());
        text.reset(static_cast<wchar_t*>(fitted));
      }
    }
  }
  pieces_.clear();
  pieces_.shrink_to_fit();
  bytes_ = 0;
  return text;
}
