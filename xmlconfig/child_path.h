// Plain child paths ("/Root", "/Root/*", "/TemplateConfig/ScheduleId")
// answered by walking the tree. Every command selects such paths a few
// times; an XPath context costs more to create than the walk costs to run.
#pragma once

#include <libxml/xpath.h>

#include <cstdint>
#include <string>

// True for "/" followed by one or more steps separated by "/", each step an
// ASCII name without a prefix or "*": the paths whose XPath answer the walk
// gives exactly. Anything else (predicates, axes, whitespace, "//") is not.
bool IsChildPath(const std::string& expression);

// The node set XPath would give for such a path on `doc`, in document order:
// elements without a namespace for a name, any element for "*"; its first
// `most` nodes only. Null when libxml2 could not make it whole; an empty set
// when `doc` is null.
xmlXPathObjectPtr SelectChildPath(xmlDocPtr doc, const std::string& expression,
                                  size_t most = SIZE_MAX);
