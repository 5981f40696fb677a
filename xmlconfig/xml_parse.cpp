// The hardened parse of untrusted text and the entity-expansion meter.
#include "xmlconfig/xml_parse.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// libxml2 sets up its globals on the first xmlInitParser, which is not safe
// to race: it runs at load, before any host thread can parse.
const struct ParserSetUp {
  ParserSetUp() { xmlInitParser(); }
} g_parserSetUp;

// Only the network is named; everything else that would fetch or substitute
// is off, and HUGE stays off so the parser's own size limits hold.
constexpr int kParseOptions = XML_PARSE_NONET;

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
  const char* text = error->message != nullptr ? error->message : "";
  size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  // Within the capacity reserved before the parse: nothing is allocated here,
  // so no exception has to cross the library's frames. Under memory
  // exhaustion one could not even be made: the mingw runtime then recurses
  // until the stack overflows.
  report->message.assign(text, std::min(length, report->message.capacity()));
}

// Longer messages are cut; libxml2's are one line of some sixty characters.
constexpr size_t kMessageCapacity = 255;

}  // namespace

// The text comes from the network, and a host may have changed libxml2's
// process-wide defaults (entity substitution, DTD loading, validation, blank
// handling, SAX1). Those are copied into every new parser context, so ours
// puts each of them back explicitly before parsing.
xmlDocPtr ParseUntrusted(const char* bytes, size_t size, int options, XmlParseReport* report) {
  if (size == 0 || size > static_cast<size_t>(INT_MAX)) return nullptr;
  if (report != nullptr) report->message.reserve(kMessageCapacity);
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

namespace {

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

}  // namespace

size_t ReferenceExpansion(xmlDocPtr doc, xmlNodePtr list, size_t limit) {
  return ExpansionMeter(doc, limit).ReferenceBytes(list);
}

size_t DocumentExpansion(xmlDocPtr doc, size_t limit) {
  return ExpansionMeter(doc, limit).DocumentBytes();
}
