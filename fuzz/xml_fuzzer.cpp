// CXmlDoc and CXmlConfig on arbitrary text and arbitrary paths: only the
// documented results, and nothing leaks.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "support/text_conversion.h"
#include "xmlconfig/child_path.h"
#include "xmlconfig/xml_config.h"
#include "xmlconfig/xml_doc.h"
#include "xmlconfig/xml_encoding.h"

static void IgnoreXmlErrors(void*, const char*, ...) {}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xmlSetGenericErrorFunc(nullptr, IgnoreXmlErrors);
  return 0;
}

// The walk answers a plain child path exactly as XPath does.
static void CheckChildPath(xmlDocPtr doc, const std::string& expression,
                           const std::vector<std::string>& steps) {
  xmlXPathObjectPtr walked = SelectChildPath(doc, steps);
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathObjectPtr evaluated =
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), context);
  FUZZ_CHECK(walked != nullptr && evaluated != nullptr && evaluated->type == XPATH_NODESET);
  const int count = walked->nodesetval->nodeNr;
  FUZZ_CHECK(count == (evaluated->nodesetval ? evaluated->nodesetval->nodeNr : 0));
  for (int k = 0; k < count; ++k) {
    FUZZ_CHECK(walked->nodesetval->nodeTab[k] == evaluated->nodesetval->nodeTab[k]);
  }
  xmlXPathFreeObject(evaluated);
  xmlXPathFreeContext(context);
  xmlXPathFreeObject(walked);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The document, then paths, separated by zero bytes.
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  // Read as an attached template is: in the encoding the bytes declare.
  const WideString text = XmlTextFromBytes(pieces[0].data(), pieces[0].size());
  {
    CXmlDoc doc(text);
    // Whatever encoding the text declares, its characters are written as they
    // are: no U+FFFD that the text did not hold (or make by a reference).
    if (text.find(WideChar(0xFFFD)) == WideString::npos && text.find(WIDE("&#")) == WideString::npos) {
      FUZZ_CHECK(doc.Dump().find(WideChar(0xFFFD)) == WideString::npos);
    }
    for (size_t i = 1; i < pieces.size(); ++i) {
      const WideString path = FromUtf8(pieces[i]);
      std::vector<std::string> steps;
      if (ChildPathSteps(pieces[i], &steps)) CheckChildPath(doc.doc, pieces[i], steps);
      const int r = doc.Select(path);
      FUZZ_CHECK(r == 0 || r == -2 || r == -3);
      FUZZ_CHECK((r == 0) == (doc.nodeSet != nullptr));
      if (r == 0) {
        FUZZ_CHECK(doc.nodeSet->nodeNr > 0);
        for (int k = 0; k < doc.nodeSet->nodeNr && k < 8; ++k) doc.GetValue(k);
        doc.GetAttribute(path);
        doc.DumpNode();
        xmlNodePtr first = doc.nodeSet->nodeTab[0];
        if (first->type == XML_ELEMENT_NODE) {
          doc.FindChild(path, first);
          doc.AddChild(path, path, first);
          doc.SetAttribute(WIDE("a"), path);
        }
      } else {
        FUZZ_CHECK(doc.GetValue(0).empty());
        FUZZ_CHECK(doc.DumpNode().empty());
      }
    }
    if (doc.doc == nullptr) FUZZ_CHECK(doc.Dump().empty());
    doc.Dump();
  }
  {
    CXmlConfig config(text);
    for (size_t i = 1; i < pieces.size(); ++i) {
      const WideString path = FromUtf8(pieces[i]);
      int32_t n = -1;
      FUZZ_CHECK(config.GetInt(path, n) == 0);
      bool b = true;
      FUZZ_CHECK(config.GetBool(path, b) == 0);
      std::vector<WideString> list;
      FUZZ_CHECK(config.GetStringList(path, list) == 0);
      int32_t count = -1;
      FUZZ_CHECK(config.GetCount(path, count) == count && count >= 0);
      FUZZ_CHECK(static_cast<int32_t>(list.size()) == count);
      FUZZ_CHECK(config.SetString(path, WIDE("v")) == static_cast<int>(0x80004001u));
      WideString xml;
      FUZZ_CHECK(config.GetNodeXml(path, xml) == 0);
    }
  }
  return 0;
}
