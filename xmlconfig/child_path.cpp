#include "xmlconfig/child_path.h"

#include <libxml/xpathInternals.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "xmlconfig/xml_memory.h"

namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsStep(const std::string& step) {
  if (step == "*") return true;
  if (step.empty() || !IsNameStart(step[0])) return false;
  for (char c : step) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

// XPath's name test without a prefix: an element in no namespace.
bool Matches(xmlNodePtr node, const std::string& step) {
  if (node->type != XML_ELEMENT_NODE) return false;
  if (step == "*") return true;
  return node->ns == nullptr && std::strcmp(reinterpret_cast<const char*>(node->name), step.c_str()) == 0;
}

}  // namespace

bool ChildPathSteps(const std::string& expression, std::vector<std::string>* steps) {
  steps->clear();
  if (expression.size() < 2 || expression[0] != '/') return false;
  for (size_t begin = 1;;) {
    const size_t end = expression.find('/', begin);
    steps->push_back(expression.substr(begin, end - begin));
    if (!IsStep(steps->back())) return false;
    if (end == std::string::npos) return true;
    begin = end + 1;
  }
}

xmlXPathObjectPtr SelectChildPath(xmlDocPtr doc, const std::vector<std::string>& steps,
                                  size_t most) {
  const XmlAllocationWatch watch;
  // Each step keeps the order of its parents, and children come in order
  // under each, so the set stays in document order without sorting.
  std::vector<xmlNodePtr> level;
  if (doc != nullptr) level.push_back(reinterpret_cast<xmlNodePtr>(doc));
  for (size_t i = 0; i < steps.size(); ++i) {
    const size_t wanted = i + 1 == steps.size() ? most : SIZE_MAX;
    std::vector<xmlNodePtr> next;
    for (xmlNodePtr parent : level) {
      for (xmlNodePtr child = parent->children; child != nullptr && next.size() < wanted;
           child = child->next) {
        if (Matches(child, steps[i])) next.push_back(child);
      }
    }
    level.swap(next);
  }
  xmlXPathObjectPtr result = xmlXPathNewNodeSet(nullptr);
  if (result == nullptr) return nullptr;
  for (xmlNodePtr node : level) {
    if (xmlXPathNodeSetAddUnique(result->nodesetval, node) != 0) break;
  }
  if (watch.Failed()) {
    xmlXPathFreeObject(result);
    return nullptr;
  }
  return result;
}
