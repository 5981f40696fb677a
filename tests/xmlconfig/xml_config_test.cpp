// CXmlConfig: typed reads, lists, counts and SetString's path walk.
#include <gtest/gtest.h>

#include <memory>

#include "xmlconfig/xml_config.h"

namespace {

const WideString kValues =
    WIDE("<Config><B>True</B><B>true</B><B>TRUE</B><B>1</B><B> true</B><B/>")
    WIDE("<I>42abc</I><I>  -17</I><I>+5</I><I>abc</I><I>99999999999</I><I>-99999999999</I></Config>");

WideString Xml(CXmlConfig& config, const WideString& path) {
  WideString xml;
  config.GetNodeXml(path, xml);
  return xml;
}

TEST(XmlConfig, BooleansAreTrueOnlyForTrueAndIntegersTakeTheLeadingDigits) {
  CXmlConfig config(kValues);
  std::vector<bool> flags{false};
  EXPECT_EQ(config.GetBoolList(WIDE("/Config/B"), flags), 0);
  EXPECT_EQ(flags, (std::vector<bool>{false, true, true, false, false, false, false}));
  bool flag = true;
  EXPECT_EQ(config.GetBool(WIDE("/Config/Missing"), flag), 0);
  EXPECT_FALSE(flag);
  int32_t value = 7;
  config.GetBOOL(WIDE("/Config/B[2]"), value);
  EXPECT_EQ(value, 1);
  std::vector<int32_t> numbers{1};
  EXPECT_EQ(config.GetIntList(WIDE("/Config/I"), numbers), 0);
  EXPECT_EQ(numbers, (std::vector<int32_t>{1, 42, -17, 5, 0, 2147483647, -2147483647 - 1}));
  EXPECT_EQ(config.GetInt(WIDE("/Config/Missing"), value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(config.GetIntAlt(WIDE("/Config/I[2]"), value), 0);
  EXPECT_EQ(value, -17);
}

TEST(XmlConfig, StringsAnswerTheFirstValueAsItComes) {
  CXmlConfig config(WIDE("<TemplateConfig><ScheduleId> 42-a </ScheduleId><ScheduleId>2</ScheduleId></TemplateConfig>"));
  WideString value = WIDE("preset");
  EXPECT_EQ(config.GetString(WIDE("/TemplateConfig/ScheduleId"), value), 0);
  EXPECT_EQ(value, WIDE(" 42-a "));
  EXPECT_EQ(config.GetStringAlt(WIDE("/TemplateConfig/None"), value), 0);
  EXPECT_EQ(value, WIDE(""));
  WideString both = WIDE("/TemplateConfig/ScheduleId[2]");
  config.GetString(both, both);
  EXPECT_EQ(both, WIDE("2"));
}

TEST(XmlConfig, StringListsAppendAfterWhatTheVectorHolds) {
  CXmlConfig config(WIDE("<Config><Item>a</Item><Item>b</Item><Item>c</Item></Config>"));
  std::vector<WideString> items{WIDE("keep")};
  config.GetStringList(WIDE("/Config/Missing"), items);
  EXPECT_EQ(items, (std::vector<WideString>{WIDE("keep")}));
  config.GetStringList(WIDE("/Config/Item"), items);
  config.GetStringListAlt(WIDE("/Config/Item[2]"), items);
  EXPECT_EQ(items, (std::vector<WideString>{WIDE("keep"), WIDE("a"), WIDE("b"), WIDE("c"), WIDE("b")}));
  int32_t count = 5;
  EXPECT_EQ(config.GetCount(WIDE("/Config/Item"), count), 3);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(config.GetCount(WIDE("/Config/Missing"), count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Xml(config, WIDE("/Config/Item[3]")), WIDE("<Item>c</Item>"));
  EXPECT_EQ(Xml(config, WIDE("count(/Config)")), WIDE(""));
}

TEST(XmlConfig, SetStringCreatesMissingElementsAndAnswersNotImplemented) {
  CXmlConfig config(WIDE("<Config/>"));
  EXPECT_EQ(static_cast<uint32_t>(config.SetString(WIDE("/Config/A/B"), WIDE("x"))), 0x80004001u);
  EXPECT_EQ(Xml(config, WIDE("/Config")), WIDE("<Config><A><B>x</B></A></Config>"));
  config.SetString(WIDE("/Config/ A / C "), WIDE("y"));
  config.SetString(WIDE("/Config/D/."), WIDE("z"));
  EXPECT_EQ(Xml(config, WIDE("/Config")), WIDE("<Config><A><B>x</B><C>y</C></A><D>z</D></Config>"));
  config.SetString(WIDE("/Config"), WIDE(""));
  EXPECT_EQ(Xml(config, WIDE("/Config")), WIDE("<Config/>"));
}

TEST(XmlConfig, SetStringWalksFromTheRootWhateverItIsCalled) {
  CXmlConfig config(WIDE("<Config><A>t</A></Config>"));
  config.SetString(WIDE("/Config/A/@id"), WIDE("7"));
  config.SetString(WIDE("/Other/E"), WIDE("x"));
  config.SetString(WIDE("//F///G"), WIDE("y"));
  config.SetString(WIDE("/Config/A[2]"), WIDE("second"));
  EXPECT_EQ(Xml(config, WIDE("/Config")),
            WIDE("<Config><A id=\"7\">t</A><E>x</E><G>y</G><A>second</A></Config>"));
  config.SetString(WIDE("/Config/A/@id"), WIDE("8"));
  config.SetString(WIDE("/Config/E"), WIDE("<raw &amp; text>"));
  EXPECT_EQ(Xml(config, WIDE("/Config")),
            WIDE("<Config><A id=\"8\">t</A><E>&lt;raw &amp; text&gt;</E><G>y</G><A>second</A></Config>"));
}

TEST(XmlConfig, SetStringOfASelectedElementReplacesItsWholeContent) {
  CXmlConfig config(WIDE("<Config><A>a<b/>c</A><A/></Config>"));
  config.SetString(WIDE("/Config/A"), WIDE("x"));
  EXPECT_EQ(Xml(config, WIDE("/Config")), WIDE("<Config><A>x</A><A/></Config>"));
  config.SetString(WIDE("//*"), WIDE("all"));
  EXPECT_EQ(Xml(config, WIDE("/Config")), WIDE("<Config>all</Config>"));
}

TEST(XmlConfig, SetStringLeavesEntityReferencesAndEmptyPathsAlone) {
  const WideString text = WIDE("<!DOCTYPE r [<!ENTITY co \"Korvane\">]><r>p&co;q</r>");
  CXmlConfig config(text);
  EXPECT_EQ(config.SetString(WIDE("/r/co"), WIDE("x")), E_NOTIMPL);
  EXPECT_EQ(config.SetString(WIDE(" / / "), WIDE("x")), E_NOTIMPL);
  EXPECT_EQ(config.SetString(WIDE(""), WIDE("x")), E_NOTIMPL);
  WideString value;
  config.GetString(WIDE("/r"), value);
  EXPECT_EQ(value, WIDE("pKorvaneq"));
  EXPECT_EQ(Xml(config, WIDE("/r")), WIDE("<r>p&co;q</r>"));
}

TEST(XmlConfig, TextThatDoesNotParseLeavesDefaultsEverywhere) {
  CXmlConfig config(WIDE("<Config><A>1</Config>"));
  int32_t number = 5;
  WideString text = WIDE("preset");
  std::vector<WideString> list{WIDE("keep")};
  EXPECT_EQ(config.SetString(WIDE("/Config/A"), WIDE("x")), E_NOTIMPL);
  EXPECT_EQ(config.GetInt(WIDE("/Config/A"), number), 0);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(config.GetString(WIDE("/Config/A"), text), 0);
  EXPECT_EQ(text, WIDE(""));
  EXPECT_EQ(config.GetStringList(WIDE("/Config/A"), list), 0);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(config.GetCount(WIDE("/Config/A"), number), 0);
  EXPECT_EQ(Xml(config, WIDE("/Config")), WIDE(""));
}

TEST(XmlConfig, UnsupportedSlotsAnswerNotImplementedThroughTheInterface) {
  std::unique_ptr<IConfig> config(new CXmlConfig(WIDE("<Config/>")));
  const WideString a = WIDE("/Config"), b = WIDE("v");
  for (int answer : {config->Unsupported11(a, b), config->Unsupported12(a, b), config->Unsupported13(a, b),
                     config->Unsupported14(a, b), config->Unsupported15(a, b), config->Unsupported16(a, b),
                     config->Unsupported17(a, b), config->Unsupported18(a), config->Unsupported19(a),
                     config->Unsupported22(a), config->Unsupported23()}) {
    EXPECT_EQ(static_cast<uint32_t>(answer), 0x80004001u);
  }
  EXPECT_EQ(config->Save(), 0);
  WideString xml;
  config->GetNodeXml(a, xml);
  EXPECT_EQ(xml, WIDE("<Config/>"));
}

}  // namespace
