#include "text/utf.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

WideString Decode(const std::string& s) { return unicode::Utf8ToUtf16(s.data(), s.size()); }
std::string Encode(const WideString& w) { return unicode::Utf16ToUtf8(w.data(), w.size()); }

TEST(Utf, EncodesBmpAndSupplementaryCharacters) {
  EXPECT_EQ(Encode(WIDE("")), "");
  EXPECT_EQ(Encode(WIDE("\u00e9")), Bytes({0xC3, 0xA9}));
  EXPECT_EQ(Encode(WIDE("\u20ac")), Bytes({0xE2, 0x82, 0xAC}));
  EXPECT_EQ(Encode(WIDE("\U0001F600")), Bytes({0xF0, 0x9F, 0x98, 0x80}));
  EXPECT_EQ(Decode(Bytes({0xC3, 0xA9})), WIDE("\u00e9"));
  EXPECT_EQ(Decode(Bytes({0xF0, 0x9F, 0x98, 0x80})), WIDE("\U0001F600"));
}

TEST(Utf, UnpairedSurrogatesBecomeReplacementWithoutTouchingNeighbours) {
  const WideString lone = {WIDE('a'), 0xD800, WIDE('b'), 0xDC00, WIDE('c')};
  EXPECT_EQ(Encode(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c");
  const WideString highAtEnd = {WIDE('x'), 0xDBFF};
  EXPECT_EQ(Encode(highAtEnd), "x\xEF\xBF\xBD");
}

TEST(Utf, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
  // Truncated 3-byte sequence followed by ASCII: one U+FFFD, the ASCII kept.
  EXPECT_EQ(Decode(Bytes({'a', 0xE2, 0x82, 'b'})), WIDE("a\uFFFDb"));
  // Lone continuation bytes: one each.
  EXPECT_EQ(Decode(Bytes({0x80, 0x80})), WIDE("\uFFFD\uFFFD"));
  // Overlong encodings and encoded surrogates are not characters.
  EXPECT_EQ(Decode(Bytes({0xC0, 0xAF})), WIDE("\uFFFD\uFFFD"));
  EXPECT_EQ(Decode(Bytes({0xED, 0xA0, 0x80})), WIDE("\uFFFD\uFFFD\uFFFD"));
  // Beyond U+10FFFF.
  EXPECT_EQ(Decode(Bytes({0xF4, 0x90, 0x80, 0x80})), WIDE("\uFFFD\uFFFD\uFFFD\uFFFD"));
  // Truncated at the very end.
  EXPECT_EQ(Decode(Bytes({'z', 0xF0, 0x9F, 0x98})), WIDE("z\uFFFD"));
  // A valid character right after an invalid lead byte survives.
  EXPECT_EQ(Decode(Bytes({0xFF, 0xC3, 0xA9})), WIDE("\uFFFD\u00e9"));
}

TEST(Utf, LongAsciiRunsAndMixedTextRoundTrip) {
  WideString text;
  for (int i = 0; i < 1000; ++i) {
    text += static_cast<WideChar>('a' + i % 26);
    if (i % 97 == 0) text += WIDE("\u00e9\u4e2d\U0001F600");
  }
  EXPECT_EQ(Decode(Encode(text)), text);
}

TEST(Utf, NulUnitsConvertLikeAnyOther) {
  const WideString withNul(WIDE("a\0b"), 3);
  EXPECT_EQ(Encode(withNul), std::string("a\0b", 3));
}

}  // namespace

namespace {

// Sequences that are and are not UTF-8, each at every offset within a 32-byte
// block of ASCII, so that every path of the validator meets them.
TEST(Utf, ValidityAndSafeCutsAgreeWithTheConverter) {
  const std::string sequences[] = {
      Bytes({0xC3, 0xA9}), Bytes({0xE2, 0x82, 0xAC}), Bytes({0xF0, 0x9F, 0x98, 0x80}),
      Bytes({0xF4, 0x8F, 0xBF, 0xBF}), Bytes({0xE2, 0x82}), Bytes({0x80}), Bytes({0xC0, 0xAF}),
      Bytes({0xED, 0xA0, 0x80}), Bytes({0xF4, 0x90, 0x80, 0x80}), Bytes({0xFF}), Bytes({0xE0, 0x80, 0x80}),
      Bytes({0xC3}), std::string(1, '\0')};
  for (const std::string& sequence : sequences) {
    for (size_t offset = 0; offset < 40; ++offset) {
      const std::string text = std::string(offset, 'a') + sequence + std::string(70 - offset, 'b');
      const bool converts = Encode(Decode(text)) == text;
      EXPECT_EQ(unicode::IsUtf8(text.data(), text.size()), converts) << offset;
      EXPECT_EQ(unicode::IsUtf8(text.data(), offset + sequence.size()), converts) << offset;
      // Cut anywhere, moved back to a safe end, the halves convert as the whole.
      for (size_t cut = offset; cut <= offset + sequence.size() + 1; ++cut) {
        const size_t end = unicode::Utf8SafeEnd(text.data(), cut);
        ASSERT_LE(end, cut);
        EXPECT_GE(end + 3, cut);
        EXPECT_EQ(Decode(text.substr(0, end)) + Decode(text.substr(end)), Decode(text)) << offset << " " << cut;
      }
    }
  }
}

}  // namespace
