// DecodeQuotedPrintable on arbitrary bytes, and on an encoding of them.
#include <stdsoap2.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "plugin/quorvil.h"

namespace {

// A quoted-printable encoding as a MIME producer writes it.
std::string Encode(const uint8_t* data, size_t size) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  size_t column = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t c = data[i];
    std::string piece;
    if ((c >= 33 && c <= 126 && c != '=') || c == ' ') {
      piece = static_cast<char>(c);
    } else {
      piece = {'=', hex[c >> 4], hex[c & 15]};
    }
    if (column + piece.size() > 75) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  struct soap* soap = soap_new();
  int32_t n = -1;
  const char* out = DecodeQuotedPrintable(reinterpret_cast<const char*>(data), soap,
                                          static_cast<int32_t>(size), &n);
  FUZZ_CHECK(out != nullptr);
  FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) <= size);
  FUZZ_CHECK(out[n] == '\0');

  const std::string encoded = Encode(data, size);
  std::unique_ptr<char[]> copy(new char[encoded.size() + 1]);
  std::memcpy(copy.get(), encoded.data(), encoded.size());
  int32_t m = -1;
  const char* back = DecodeQuotedPrintable(copy.get(), soap, static_cast<int32_t>(encoded.size()), &m);
  FUZZ_CHECK(back != nullptr && static_cast<size_t>(m) == size);
  FUZZ_CHECK(std::memcmp(back, data, size) == 0);
  soap_end(soap);
  soap_free(soap);
  return 0;
}
