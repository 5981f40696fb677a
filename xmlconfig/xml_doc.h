// One parsed XML document with its XPath context and current selection.
#pragma once

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cstddef>

#include "platform/wide.h"
#include "xmlconfig/xml_parse.h"

class CXmlDoc {
 public:
  // Text that does not parse (or is refused) leaves `doc` null; the XPath
  // context exists either way. External entities and DTDs are never loaded,
  // whatever libxml2's process-wide defaults say.
  explicit CXmlDoc(const WideString& text);
  // The same for a zero-terminated text; null reads as the empty text.
  // `report`, when given, is told what parsing found.
  explicit CXmlDoc(const WideChar* text, XmlParseReport* report = nullptr);
  // The same for the text that `size` bytes of valid UTF-8 without a zero
  // byte convert to, parsed from those bytes without converting them.
  CXmlDoc(const char* utf8, size_t size, XmlParseReport* report = nullptr);
  ~CXmlDoc();
  CXmlDoc(const CXmlDoc&) = delete;
  CXmlDoc& operator=(const CXmlDoc&) = delete;

  // 0 selected, -1 no XPath context, -2 nothing selected (or not a node set),
  // -3 the expression did not evaluate. Text from "/name()" on is dropped and
  // value reads then answer node names.
  int Select(const WideString& path);
  // Select for a caller that reads only the first node: a plain child path
  // ("/Root/*") stops at it; any other may hold more.
  int SelectFirst(const WideString& path);

  // Reads of the current selection; the empty string when there is none.
  // An index outside the selection answers the empty string too.
  WideString GetValue(int index) const;
  WideString GetAttribute(const WideString& name) const;
  WideString DumpNode() const;
  // The library's serialisation of the whole document as UTF-8 (XmlDump).
  WideString Dump() const;

  void SetAttribute(const WideString& name, const WideString& value);
  xmlAttrPtr SetNodeAttribute(const WideString& name, const WideString& value, xmlNodePtr node);
  // The text is parsed for entity references, not escaped. Node kinds whose
  // content the library cannot replace safely (entity references, namespace
  // and declaration nodes) are left alone and answer null. A selection that
  // holds nodes the edit frees is released first.
  xmlNodePtr SetNodeContent(const WideString& text, xmlNodePtr node);
  // `segment` is name or name[k]; k counts from 1, 0 or none means the first.
  xmlNodePtr AddChild(const WideString& segment, const WideString& value, xmlNodePtr parent);
  xmlNodePtr FindChild(const WideString& segment, xmlNodePtr parent) const;
  // With a root already there, that root is answered and nothing is made.
  xmlNodePtr CreateRoot(const WideString& name);
  // Moves each selected element, with all it holds, to the end of `parent`'s
  // children in selection order, and ends the selection. Elements inside a
  // moved one go with it; other node kinds, an element holding `parent`, and
  // one the library cannot copy or add (memory) stay where they are.
  void MoveSelectedElementsUnder(xmlNodePtr parent);

  // The file name goes to the library as UTF-8; failures are not reported.
  void SaveFile(const WideString& fileName) const;

  // Owned; null when the text did not parse.
  xmlDocPtr doc;
  // Borrowed from the last selection; non-null only with at least one node.
  xmlNodeSetPtr nodeSet;

 private:
  int Select(const WideString& path, size_t most);
  void ReleaseSelection();
  bool SelectionInside(xmlNodePtr node) const;

  void Parse(const char* utf8, size_t size, XmlParseReport* report);
  size_t ExpansionLimit() const;

  xmlXPathContextPtr xpathContext;
  xmlXPathObjectPtr xpathResult;
  bool nameMode;
  size_t inputBytes_;  // the UTF-8 size of the parsed text
};
