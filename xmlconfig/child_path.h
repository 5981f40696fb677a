// Plain child paths ("/Root", "/Root/*", "/TemplateConfig/ScheduleId")
// answered by walking the tree. Every command selects such paths a few
// times; an XPath context costs more to create than the walk costs to run.
#pragma once

#include <libxml/xpath.h>

#include <cstdint>
#include <string>
#include <vector>

// The steps of "/" followed by one or more steps separated by "/", each an
// ASCII name without a prefix or "*": the paths whose XPath answer the walk
// gives exactly. False for anything else (predicates, axes, whitespace, "//").
bool ChildPathSteps(const std::string& expression, std::vector<std::string>* steps);

// The node set XPath would give for such a path on `doc`, in document order:
// elements without a namespace for a name, any element for "*"; its first
// `most` nodes only. Null when libxml2 could not make it whole; an empty set
// when `doc` is null.
xmlXPathObjectPtr SelectChildPath(xmlDocPtr doc, const std::vector<std::string>& steps,
                                  size_t most = SIZE_MAX);
