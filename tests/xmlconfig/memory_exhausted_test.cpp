// With the address space used up, libxml2's small requests come from the
// plug-in's reserve. The first of them in a process takes the reserve's
// lock, which must not need memory of its own: its own test program, so
// that nothing has taken that lock before.
#include "xmlconfig/xml_memory.h"

#include <gtest/gtest.h>
#include <libxml/globals.h>
#include <libxml/xmlstring.h>

#include <cstdlib>

namespace {

TEST(XmlMemoryExhausted, SmallRequestsAreServedFromTheReserve) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "only a 32-bit address space can be used up in a test";
  const XmlAllocationWatch watch;
  // Every block the system gives, largest first, chained through themselves
  // so that keeping them needs nothing more.
  void* chain = nullptr;
  for (size_t size = size_t{1} << 20; size >= sizeof(void*); size /= 2) {
    while (void* block = std::malloc(size)) {
      *static_cast<void**>(block) = chain;
      chain = block;
    }
  }
  void* small = xmlMalloc(64);
  xmlChar* copy = xmlStrdup(BAD_CAST "text");
  const bool served = small != nullptr && copy != nullptr;
  xmlFree(copy);
  xmlFree(small);
  while (chain != nullptr) {
    void* next = *static_cast<void**>(chain);
    std::free(chain);
    chain = next;
  }
  EXPECT_TRUE(served);
  EXPECT_TRUE(watch.Failed());
}

}  // namespace
