#include "support/format_string.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatString, NullOrEmptyResultGivesEmptyString) {
  EXPECT_EQ(FormatString(nullptr), u"");
  EXPECT_EQ(FormatString(u""), u"");
  EXPECT_EQ(FormatString(u"%s", u""), u"");
}

TEST(FormatString, WideAndNarrowStringConversionsFollowWindowsRules) {
  EXPECT_EQ(FormatString(u"[%s]INFO:", u"Quorvil"), u"[Quorvil]INFO:");
  EXPECT_EQ(FormatString(u"%S", "narrow"), u"narrow");
  EXPECT_EQ(FormatString(u"%ls|%hs|%ws", u"w", "n", u"x"), u"w|n|x");
  EXPECT_EQ(FormatString(u"%S", "caf\xC3\xA9"), u"caf\u00e9");
  EXPECT_EQ(FormatString(u"%s", static_cast<const WideChar*>(nullptr)), u"(null)");
  EXPECT_EQ(FormatString(u"%-5s|%5s|%.2s", u"ab", u"cd", u"efgh"), u"ab   |   cd|ef");
}

TEST(FormatString, IntegersFlagsWidthAndPrecision) {
  EXPECT_EQ(FormatString(u"[%02d:%02d:%02d]", 4, 3, 7), u"[04:03:07]");
  EXPECT_EQ(FormatString(u"%02X%02X", 0x0a, 0xff), u"0AFF");
  EXPECT_EQ(FormatString(u"%x %u %d", 0xbeefu, 4294967295u, -2147483647 - 1),
            u"beef 4294967295 -2147483648");
  EXPECT_EQ(FormatString(u"%+d % d %5d|%-5d|%05d", 3, 3, -42, 42, -42), u"+3  3   -42|42   |-0042");
  EXPECT_EQ(FormatString(u"%.3d %#x %#o", 7, 255u, 8u), u"007 0xff 010");
  EXPECT_EQ(FormatString(u"%I64d %lld", static_cast<long long>(-5000000000LL), 1LL << 40),
            u"-5000000000 1099511627776");
  EXPECT_EQ(FormatString(u"%*d|%-*d", 4, 1, 3, 2), u"   1|2  ");
}

TEST(FormatString, CharactersPercentAndFloats) {
  EXPECT_EQ(FormatString(u"%c%C%%", u'\u4e2d', 'a'), u"\u4e2da%");
  EXPECT_EQ(FormatString(u"%.2f %e", 3.14159, 1000.0), u"3.14 1.000000e+03");
}

TEST(FormatString, MalformedConversionIsAnErrorAndGivesEmptyText) {
  EXPECT_EQ(FormatString(u"value %"), u"");
  EXPECT_EQ(FormatString(u"%k", 1), u"");
  int n = 0;
  EXPECT_EQ(FormatString(u"%n", &n), u"");
  EXPECT_EQ(n, 0);
}

TEST(FormatString, LongTextsAreFormattedWhole) {
  const WideString big(1 << 20, u'x');
  EXPECT_EQ(FormatString(u"<%s>", big.c_str()).size(), big.size() + 2);
}

}  // namespace
