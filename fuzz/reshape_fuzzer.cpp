// The template reshaping of dispatch on arbitrary text: the payload parses
// again, Root carries Template and OS, and a CSC wrap moves each element
// child exactly once.
#include <libxml/tree.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "plugin/template_op.h"
#include "support/text_conversion.h"
#include "xmlconfig/xml_doc.h"

namespace {

std::vector<std::string> ElementChildren(xmlNodePtr node) {
  std::vector<std::string> names;
  for (xmlNodePtr c = node->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) names.emplace_back(reinterpret_cast<const char*>(c->name));
  }
  return names;
}

}  // namespace

static void IgnoreXmlErrors(void*, const char*, ...) {}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xmlSetGenericErrorFunc(nullptr, IgnoreXmlErrors);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const WideString text = FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> before;
  bool csc = false;
  {
    CXmlDoc original(text);
    if (original.Select(WIDE("/Root")) == 0) {
      before = ElementChildren(original.nodeSet->nodeTab[0]);
      original.Select(WIDE("/Root/*"));
      csc = original.GetAttribute(WIDE("ns")) == WIDE("CSC");
    }
  }
  WideString payload;
  if (!ReshapeTemplate(text, &payload)) return 0;

  CXmlDoc again(payload);
  // A document that declares another encoding is dumped in it but read back
  // as UTF-8; only UTF-8 documents must come back whole.
  const bool utf8 = again.doc != nullptr;
  if (!utf8) return 0;
  FUZZ_CHECK(again.Select(WIDE("/Root")) == 0);
  xmlNodePtr root = again.nodeSet->nodeTab[0];
  FUZZ_CHECK(again.GetAttribute(WIDE("Template")) == WIDE("true"));
  FUZZ_CHECK(again.GetAttribute(WIDE("OS")) == WIDE("All"));
  const std::vector<std::string> after = ElementChildren(root);
  if (csc) {
    FUZZ_CHECK(after.size() == 1 && after[0] == "CSCTemplateConfig");
    xmlNodePtr wrapper = root->children;
    while (wrapper->type != XML_ELEMENT_NODE) wrapper = wrapper->next;
    FUZZ_CHECK(ElementChildren(wrapper) == before);
  } else {
    FUZZ_CHECK(after == before);
  }
  return 0;
}
