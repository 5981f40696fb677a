// The parse of untrusted XML text, whatever libxml2's process-wide defaults
// say, and the meter of what its entity references add to reads.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <string>

// Documents whose entity references would add more bytes to the reads of
// their nodes, all reads together, than five times the document's own UTF-8
// size plus this allowance are refused at parse time; one read that would
// add more after an edit answers the empty string.
constexpr size_t kXmlEntityAmplification = 5;
constexpr size_t kXmlEntityAllowance = 750 * 1024;

// What parsing a text found, for a caller that asks why a document is null.
struct XmlParseReport {
  // The UTF-8 size of the text parsed; an empty text does not parse.
  size_t inputBytes = 0;
  // libxml2's first fatal error, or without one its first error: its code
  // (xmlParserErrors), level (xmlErrorLevel), line, column and message
  // without the line end. Code 0: it reported none.
  int errorCode = 0;
  int errorLevel = 0;
  int line = 0;
  int column = 0;
  std::string message;
  // The text parsed, but its entity references would add more than
  // `expansionLimit` bytes to the reads of its nodes.
  bool expansionRefused = false;
  size_t expansionLimit = 0;
};

// The document `size` bytes parse to, null when they are not well-formed.
// `options` (XML_PARSE_*) add to the network being off. With a `report`,
// libxml2's errors go to it instead of the library's error output.
xmlDocPtr ParseUntrusted(const char* bytes, size_t size, int options, XmlParseReport* report);

// What entity references add when the library expands them on a read
// (xmlNodeListGetString with inline set, xmlGetProp, XPath string values):
// those directly in `list`, for a read of that list, and every one in the
// document, all reads together. Past `limit` the answer is only larger.
size_t ReferenceExpansion(xmlDocPtr doc, xmlNodePtr list, size_t limit);
size_t DocumentExpansion(xmlDocPtr doc, size_t limit);
