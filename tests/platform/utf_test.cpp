#include "platform/utf.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

WideString Decode(const std::string& s) { return platform::Utf8ToUtf16(s.data(), s.size()); }
std::string Encode(const WideString& w) { return platform::Utf16ToUtf8(w.data(), w.size()); }

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
