#include "support/format_string.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatString, NullOrEmptyResultGivesEmptyString) {
  EXPECT_EQ(FormatString(nullptr), WIDE(""));
  EXPECT_EQ(FormatString(WIDE("")), WIDE(""));
  EXPECT_EQ(FormatString(WIDE("%s"), WIDE("")), WIDE(""));
}

TEST(FormatString, WideAndNarrowStringConversionsFollowWindowsRules) {
  EXPECT_EQ(FormatString(WIDE("[%s]INFO:"), WIDE("Quorvil")), WIDE("[Quorvil]INFO:"));
  EXPECT_EQ(FormatString(WIDE("%S"), "narrow"), WIDE("narrow"));
  EXPECT_EQ(FormatString(WIDE("%ls|%hs|%ws"), WIDE("w"), "n", WIDE("x")), WIDE("w|n|x"));
  EXPECT_EQ(FormatString(WIDE("%S"), "caf\xC3\xA9"), WIDE("caf\u00e9"));
  EXPECT_EQ(FormatString(WIDE("%s"), static_cast<const WideChar*>(nullptr)), WIDE("(null)"));
  EXPECT_EQ(FormatString(WIDE("%-5s|%5s|%.2s"), WIDE("ab"), WIDE("cd"), WIDE("efgh")), WIDE("ab   |   cd|ef"));
}

TEST(FormatString, IntegersFlagsWidthAndPrecision) {
  EXPECT_EQ(FormatString(WIDE("[%02d:%02d:%02d]"), 4, 3, 7), WIDE("[04:03:07]"));
  EXPECT_EQ(FormatString(WIDE("%02X%02X"), 0x0a, 0xff), WIDE("0AFF"));
  EXPECT_EQ(FormatString(WIDE("%x %u %d"), 0xbeefu, 4294967295u, -2147483647 - 1),
            WIDE("beef 4294967295 -2147483648"));
  EXPECT_EQ(FormatString(WIDE("%+d % d %5d|%-5d|%05d"), 3, 3, -42, 42, -42), WIDE("+3  3   -42|42   |-0042"));
  EXPECT_EQ(FormatString(WIDE("%.3d %#x %#o"), 7, 255u, 8u), WIDE("007 0xff 010"));
  EXPECT_EQ(FormatString(WIDE("%I64d %lld"), static_cast<long long>(-5000000000LL), 1LL << 40),
            WIDE("-5000000000 1099511627776"));
  EXPECT_EQ(FormatString(WIDE("%*d|%-*d"), 4, 1, 3, 2), WIDE("   1|2  "));
}

TEST(FormatString, CharactersPercentAndFloats) {
  EXPECT_EQ(FormatString(WIDE("%c%C%%"), WIDE('\u4e2d'), 'a'), WIDE("\u4e2da%"));
  EXPECT_EQ(FormatString(WIDE("%.2f %e"), 3.14159, 1000.0), WIDE("3.14 1.000000e+03"));
}

TEST(FormatString, MalformedConversionIsAnErrorAndGivesEmptyText) {
  EXPECT_EQ(FormatString(WIDE("value %")), WIDE(""));
  EXPECT_EQ(FormatString(WIDE("%k"), 1), WIDE(""));
  int n = 0;
  EXPECT_EQ(FormatString(WIDE("%n"), &n), WIDE(""));
  EXPECT_EQ(n, 0);
}

TEST(FormatString, LongTextsAreFormattedWhole) {
  const WideString big(1 << 20, WIDE('x'));
  EXPECT_EQ(FormatString(WIDE("<%s>"), big.c_str()).size(), big.size() + 2);
}

}  // namespace
