#include "plugin/base64.h"

#include <stdsoap2.h>

#include <cstdint>
#include <cstring>

namespace {

// What one character is to the runtime's decoder: its value in the alphabet,
// the end of the text (the zero byte and "="), a blank that is skipped (1 to
// 32), or anything else, which fails.
constexpr uint8_t kEnd = 64, kBlank = 65, kBad = 0xFF;

struct CharTable {
  uint8_t value[256];
};

constexpr int AlphabetValue(int c) {
  return c >= 'A' && c <= 'Z'   ? c - 'A'
         : c >= 'a' && c <= 'z' ? c - 'a' + 26
         : c >= '0' && c <= '9' ? c - '0' + 52
         : c == '+'             ? 62
         : c == '/'             ? 63
                                : -1;
}

constexpr CharTable MakeCharTable() {
  CharTable table{};
  for (int c = 0; c < 256; ++c) {
    const int v = AlphabetValue(c);
    table.value[c] = v >= 0                ? static_cast<uint8_t>(v)
                     : c == 0 || c == '='  ? kEnd
                     : c <= 32             ? kBlank
                                           : kBad;
  }
  return table;
}

constexpr CharTable kChars = MakeCharTable();

// For each place in a group of four, what the character adds to the group's
// three bytes, laid out as they are stored (first byte lowest); a character
// outside the alphabet sets the top byte, which no group of alphabet
// characters reaches.
struct GroupTables {
  uint32_t place[4][256];
};

constexpr GroupTables MakeGroupTables() {
  GroupTables tables{};
  for (int k = 0; k < 4; ++k) {
    for (int c = 0; c < 256; ++c) {
      const int v = AlphabetValue(c);
      if (v < 0) {
        tables.place[k][c] = 0xFF000000u;
        continue;
      }
      const uint32_t m = static_cast<uint32_t>(v) << (18 - 6 * k);
      tables.place[k][c] = ((m >> 16) & 0xFF) | (((m >> 8) & 0xFF) << 8) | ((m & 0xFF) << 16);
    }
  }
  return tables;
}

constexpr GroupTables kGroups = MakeGroupTables();

// Decodes up to `groups` groups of four alphabet characters from `in` into
// three bytes each at `out`, stopping before the first group that holds any
// other character; answers the groups decoded.
inline size_t DecodeGroups(const unsigned char* in, char* out, size_t groups) {
  size_t k = 0;
  for (; k < groups; ++k, in += 4, out += 3) {
    const uint32_t w = kGroups.place[0][in[0]] | kGroups.place[1][in[1]] |
                       kGroups.place[2][in[2]] | kGroups.place[3][in[3]];
    if (w > 0xFFFFFFu) break;
    out[0] = static_cast<char>(w & 0xFF);
    out[1] = static_cast<char>((w >> 8) & 0xFF);
    out[2] = static_cast<char>((w >> 16) & 0xFF);
  }
  return k;
}

}  // namespace

const char* DecodeBase64(struct soap* soap, const char* s, char* t, size_t l, int* n) {
  // No text at all: the runtime's own answer, its non-null marker included.
  if (s == nullptr || *s == '\0') return soap_base642s(soap, s, t, l, n);
  if (n != nullptr) *n = 0;
  const size_t length = std::strlen(s);
  if (t == nullptr) {
    l = (length + 3) / 4 * 3 + 1;  // the runtime's size: raw bytes and a zero
    t = static_cast<char*>(soap_malloc(soap, l));
  }
  if (t == nullptr) return nullptr;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(s);
  const unsigned char* const end = in + length;
  char* const p = t;
  // The runtime's loop, one group of four characters a turn. Turns whose
  // four characters are all in the alphabet, with room for their three
  // bytes, do what the runtime's turns do with them, through the tables, and
  // so does skipping blanks (line breaks) between groups; any other turn is
  // the runtime's own.
  for (size_t i = 0;; i += 3, l -= 3) {
    for (;;) {
      while (in < end && kChars.value[*in] == kBlank) ++in;
      const size_t room = l / 3, whole = static_cast<size_t>(end - in) / 4;
      const size_t k = DecodeGroups(in, t, room < whole ? room : whole);
      if (k == 0) break;
      in += 4 * k;
      t += 3 * k;
      i += 3 * k;
      l -= 3 * k;
    }
    unsigned long m = 0;
    size_t j = 0;
    while (j < 4) {
      const uint8_t v = kChars.value[*in++];
      if (v < 64) {
        m = (m << 6) + v;
        ++j;
        continue;
      }
      if (v == kBlank) continue;
      if (v == kBad) {
        soap->error = SOAP_TYPE;
        return nullptr;
      }
      // The end: what an incomplete group holds, as far as `l` allows.
      if (j == 2 && l >= 1) {
        *t++ = static_cast<char>((m >> 4) & 0xFF);
        i += 1;
        l -= 1;
      } else if (j == 3 && l >= 2) {
        *t++ = static_cast<char>((m >> 10) & 0xFF);
        *t++ = static_cast<char>((m >> 2) & 0xFF);
        i += 2;
        l -= 2;
      }
      if (n != nullptr) *n = static_cast<int>(i);
      if (l != 0) *t = '\0';
      return p;
    }
    if (l < 3) {
      if (n != nullptr) *n = static_cast<int>(i);
      if (l != 0) *t = '\0';
      return p;
    }
    *t++ = static_cast<char>((m >> 16) & 0xFF);
    *t++ = static_cast<char>((m >> 8) & 0xFF);
    *t++ = static_cast<char>(m & 0xFF);
  }
}
