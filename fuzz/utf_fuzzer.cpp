// FromUtf8 / ToUtf8 on arbitrary bytes: well-formed output within the
// buffer bounds the callers allocate, and valid text round-trips.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "support/text_conversion.h"

namespace {

bool WellFormedUtf16(const WideString& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// An independent validator: strict UTF-8 as RFC 3629 defines it.
bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    const uint32_t min[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const WideString wide = FromUtf8(bytes);
  const size_t nul = bytes.find('\0');
  const std::string untilNul = bytes.substr(0, nul);
  FUZZ_CHECK(wide.size() <= untilNul.size());  // room of n + 1 units always suffices
  FUZZ_CHECK(wide.find(WIDE('\0')) == WideString::npos);
  FUZZ_CHECK(WellFormedUtf16(wide));
  const std::string back = ToUtf8(wide);
  FUZZ_CHECK(back.size() <= 3 * wide.size());  // room of 3n + 3 bytes always suffices
  FUZZ_CHECK(ValidUtf8(back));
  if (ValidUtf8(untilNul)) FUZZ_CHECK(back == untilNul);

  // The same bytes read as UTF-16 units.
  WideString units(size / 2, WIDE('\0'));
  if (!units.empty()) std::memcpy(&units[0], data, units.size() * 2);
  const std::string narrow = ToUtf8(units);
  FUZZ_CHECK(ValidUtf8(narrow));
  const WideString again = FromUtf8(narrow);
  const WideString unitsUntilNul = units.substr(0, units.find(WIDE('\0')));
  if (WellFormedUtf16(unitsUntilNul)) FUZZ_CHECK(again == unitsUntilNul);
  return 0;
}
