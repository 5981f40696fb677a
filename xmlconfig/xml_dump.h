// The serialisation of a whole document, in pieces.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/wide.h"

// Text of the C runtime's wide characters, in its memory (std::free).
struct FreeWchar {
  void operator()(wchar_t* text) const { std::free(text); }
};
using WcharText = std::unique_ptr<wchar_t[], FreeWchar>;

// The library's serialisation of a document, XML declaration included, as
// UTF-8 in pieces, so that no block has to hold the whole output. A document
// that declares another encoding is written as UTF-8 all the same, its
// declaration still naming the encoding the template declared.
class XmlDump {
 public:
  // False, with nothing held, when the library could not serialise it.
  bool Write(xmlDocPtr doc);
  // The text as UTF-16, each piece released once it is converted.
  WideString TakeWide();
  // The text as the C runtime's wide characters (unicode::Utf8ToWchar),
  // zero-terminated, each piece released once it is converted: what TakeWide
  // gives with its surrogate pairs joined where wchar_t has 32 bits, made in
  // one pass and in the width the service call's runtime holds it in. Null,
  // with nothing held, when the memory cannot be had.
  WcharText TakeWchar();

 private:
  static int Written(void* dump, const char* bytes, int size);
  void Append(const char* bytes, size_t size);

  std::vector<std::vector<char>> pieces_;
  size_t bytes_ = 0;
};
