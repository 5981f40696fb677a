// One parsed XML document with its XPath context and current selection.
#pragma once

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cstddef>

#include "platform/wide.h"

// Documents whose entity references would add more than this many bytes to
// the reads of their nodes, all reads together, are refused at parse time;
// one read that would add more after an edit answers the empty string.
constexpr size_t kXmlEntityExpansionLimit = 1024 * 1024;

class CXmlDoc {
 public:
  // Text that does not parse (or is refused) leaves `doc` null; the XPath
  // context exists either way. External entities and DTDs are never loaded,
  // whatever libxml2's process-wide defaults say.
  explicit CXmlDoc(const WideString& text);
  // The same for a zero-terminated text; null reads as the empty text.
  explicit CXmlDoc(const WideChar* text);
  ~CXmlDoc();
  CXmlDoc(const CXmlDoc&) = delete;
  CXmlDoc& operator=(const CXmlDoc&) = delete;

  // 0 selected, -1 no XPath context, -2 nothing selected (or not a node set),
  // -3 the expression did not evaluate. Text from "/name()" on is dropped and
  // value reads then answer node names.
  int Select(const WideString& path);

  // Reads of the current selection; the empty string when there is none.
  // An index outside the selection answers the empty string too.
  WideString GetValue(int index) const;
  WideString GetAttribute(const WideString& name) const;
  WideString DumpNode() const;
  // The library's serialisation of the whole document, its bytes taken as
  // UTF-8 whatever encoding the document declares.
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

  // The file name goes to the library as UTF-8; failures are not reported.
  void SaveFile(const WideString& fileName) const;

  // Owned; null when the text did not parse.
  xmlDocPtr doc;
  // Borrowed from the last selection; non-null only with at least one node.
  xmlNodeSetPtr nodeSet;

 private:
  void ReleaseSelection();
  bool SelectionInside(xmlNodePtr node) const;

  xmlXPathContextPtr xpathContext;
  xmlXPathObjectPtr xpathResult;
  bool nameMode;
};
