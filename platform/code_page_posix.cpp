// Single-byte code pages through the C library's iconv.
#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace platform {

bool SingleByteToUtf16(unsigned codePage, const char* bytes, size_t size, WideString* out) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t converter = iconv_open("UTF-16LE", name.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  const size_t start = out->size();
  out->reserve(start + size);
  char slice[8 * 1024];
  char* in = const_cast<char*>(bytes);
  size_t left = size;
  bool converted = true;
  while (left > 0) {
    char* o = slice;
    size_t room = sizeof slice;
    const size_t r = iconv(converter, &in, &left, &o, &room);
    for (const char* p = slice; p + 1 < o; p += 2) {
      out->push_back(static_cast<WideChar>(static_cast<unsigned char>(p[0]) |
                                           static_cast<unsigned char>(p[1]) << 8));
    }
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == EILSEQ || errno == EINVAL) {
      out->push_back(0xFFFD);  // undefined in the code page
      ++in;
      --left;
    } else if (errno != E2BIG) {
      converted = false;
      break;
    }
  }
  iconv_close(converter);
  if (!converted) out->resize(start);
  return converted;
}

}  // namespace platform
