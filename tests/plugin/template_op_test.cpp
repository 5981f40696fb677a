// The command's pieces that need no peer: quoted-printable decoding and the
// task status document.
#include <gtest/gtest.h>

#include "plugin/quorvil.h"
#include "plugin/template_op.h"
#include <stdsoap2.h>

namespace {

class QuotedPrintable : public ::testing::Test {
 protected:
  QuotedPrintable() : soap_(soap_new()) {}
  ~QuotedPrintable() override {
    soap_end(soap_);
    soap_free(soap_);
  }
  std::string Decode(const std::string& in) {
    int32_t n = -1;
    const char* out = DecodeQuotedPrintable(in.data(), soap_, static_cast<int32_t>(in.size()), &n);
    EXPECT_NE(out, nullptr);
    if (out == nullptr) return "<null>";
    EXPECT_LE(n, static_cast<int32_t>(in.size()));
    EXPECT_EQ(out[n], '\0');
    return std::string(out, static_cast<size_t>(n));
  }
  struct soap* soap_;
};

TEST_F(QuotedPrintable, EscapesAndSoftLineBreaksDecode) {
  EXPECT_EQ(Decode("a=3Db=\r\nc"), "a=bc");
  EXPECT_EQ(Decode("=41=42"), "AB");
  EXPECT_EQ(Decode("=4a"), "J");
  EXPECT_EQ(Decode("line\r\nnext"), "line\r\nnext");
  EXPECT_EQ(Decode(""), "");
}

TEST_F(QuotedPrintable, MalformedEscapeStandsForItselfAndNeverReadsPastTheEnd) {
  EXPECT_EQ(Decode("a=G1b"), "a=b");
  EXPECT_EQ(Decode("=\nx"), "=");  // a line feed alone is no soft break
  EXPECT_EQ(Decode("end="), "end=");
  EXPECT_EQ(Decode("end=4"), "end=");
}

TEST_F(QuotedPrintable, NoContextMeansNoOutput) {
  int32_t n = 7;
  EXPECT_EQ(DecodeQuotedPrintable("abc", nullptr, 3, &n), nullptr);
  EXPECT_EQ(n, 7);
}

TEST(TaskStatusDocument, IsMadeOfItsPiecesUnescaped) {
  WideString doc;
  ASSERT_TRUE(BuildTaskStatusDocument(WIDE("001122AABBCC"), WIDE("7"), 100, &doc));
  EXPECT_EQ(doc,
            WIDE("<Root ID=\"001122AABBCC\"><TaskStatusResponse><ScheduleId>7</ScheduleId>")
            WIDE("<Progress>100</Progress></TaskStatusResponse></Root>"));
  ASSERT_TRUE(BuildTaskStatusDocument(WIDE(""), nullptr, -2, &doc));
  EXPECT_EQ(doc,
            WIDE("<Root ID=\"\"><TaskStatusResponse><ScheduleId></ScheduleId>")
            WIDE("<Progress>-2</Progress></TaskStatusResponse></Root>"));
  ASSERT_TRUE(BuildTaskStatusDocument(WIDE("X"), WIDE("a<b"), 1, &doc));
  EXPECT_NE(doc.find(WIDE("<ScheduleId>a<b</ScheduleId>")), WideString::npos);
}

TEST(TaskStatusDocument, LongestScheduleIdFitsAndOneMoreIsRefusedWhole) {
  WideString doc = WIDE("unchanged");
  EXPECT_TRUE(BuildTaskStatusDocument(WIDE("001122AABBCC"), WideString(894, WIDE('s')).c_str(),
                                      -2147483647 - 1, &doc));
  EXPECT_EQ(doc.size(), kStatusDocumentUnits - 1);
  WideString refused = WIDE("unchanged");
  EXPECT_FALSE(BuildTaskStatusDocument(WIDE("001122AABBCC"), WideString(895, WIDE('s')).c_str(),
                                       -2147483647 - 1, &refused));
  EXPECT_EQ(refused, WIDE("unchanged"));
}

TEST(TaskStatusReport, WithoutEndpointNothingIsSentAndTooLongIsRefused) {
  EXPECT_EQ(SendTaskRes(WIDE("1"), nullptr, 100), 0);
  EXPECT_EQ(SendTaskRes(WideString(2000, WIDE('s')).c_str(), "http://127.0.0.1:1/", 100), 2);
  EXPECT_EQ(SendTaskRes(WIDE("1"), "", 100), 2);
}

}  // namespace
