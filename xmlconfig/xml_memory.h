// What libxml2 could not allocate. The library does not tell its caller of
// every failed allocation (a deep copy can come back without its children, a
// dump's output buffer that cannot grow drops what it was given), so the
// plug-in watches the allocator itself.
#pragma once

#include <libxml/xmlmemory.h>

// Counts, on the calling thread, the allocations the system refused libxml2
// since the watch began (small ones are then served from a reserve, since the
// library does not survive every refusal). Work that must be whole (a
// template from its parse to its payload) runs under one watch and is thrown
// away when it failed.
class XmlAllocationWatch {
 public:
  XmlAllocationWatch();
  XmlAllocationWatch(const XmlAllocationWatch&) = delete;
  XmlAllocationWatch& operator=(const XmlAllocationWatch&) = delete;

  bool Failed() const;

 private:
  unsigned long start_;
};

// The allocator the watch forwards to: libxml2's as it was when the plug-in
// was loaded, unless changed here. Tests put one beneath the watch that
// refuses chosen requests; answers the one it replaces.
struct XmlAllocator {
  xmlMallocFunc malloc;
  xmlReallocFunc realloc;
  xmlStrdupFunc strdup;
};
XmlAllocator SetXmlAllocatorBeneathWatch(const XmlAllocator& allocator);
