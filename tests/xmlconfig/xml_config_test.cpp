// CXmlConfig: typed reads, lists, counts and SetString's path walk.
#include <gtest/gtest.h>

#include <memory>

#include "xmlconfig/xml_config.h"

namespace {

const WideString kValues =
    u"<Config><B>True</B><B>true</B><B>TRUE</B><B>1</B><B> true</B><B/>"
    u"<I>42abc</I><I>  -17</I><I>+5</I><I>abc</I><I>99999999999</I><I>-99999999999</I></Config>";

WideString Xml(CXmlConfig& config, const WideString& path) {
  WideString xml;
  config.GetNodeXml(path, xml);
  return xml;
}

TEST(XmlConfig, BooleansAreTrueOnlyForTrueAndIntegersTakeTheLeadingDigits) {
  CXmlConfig config(kValues);
  std::vector<bool> flags{false};
  EXPECT_EQ(config.GetBoolList(u"/Config/B", flags), 0);
  EXPECT_EQ(flags, (std::vector<bool>{false, true, true, false, false, false, false}));
  bool flag = true;
  EXPECT_EQ(config.GetBool(u"/Config/Missing", flag), 0);
  EXPECT_FALSE(flag);
  int32_t value = 7;
  config.GetBOOL(u"/Config/B[2]", value);
  EXPECT_EQ(value, 1);
  std::vector<int32_t> numbers{1};
  EXPECT_EQ(config.GetIntList(u"/Config/I", numbers), 0);
  EXPECT_EQ(numbers, (std::vector<int32_t>{1, 42, -17, 5, 0, 2147483647, -2147483647 - 1}));
  EXPECT_EQ(config.GetInt(u"/Config/Missing", value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(config.GetIntAlt(u"/Config/I[2]", value), 0);
  EXPECT_EQ(value, -17);
}

TEST(XmlConfig, StringsAnswerTheFirstValueAsItComes) {
  CXmlConfig config(u"<TemplateConfig><ScheduleId> 42-a </ScheduleId><ScheduleId>2</ScheduleId></TemplateConfig>");
  WideString value = u"preset";
  EXPECT_EQ(config.GetString(u"/TemplateConfig/ScheduleId", value), 0);
  EXPECT_EQ(value, u" 42-a ");
  EXPECT_EQ(config.GetStringAlt(u"/TemplateConfig/None", value), 0);
  EXPECT_EQ(value, u"");
  WideString both = u"/TemplateConfig/ScheduleId[2]";
  config.GetString(both, both);
  EXPECT_EQ(both, u"2");
}

TEST(XmlConfig, StringListsAppendAfterWhatTheVectorHolds) {
  CXmlConfig config(u"<Config><Item>a</Item><Item>b</Item><Item>c</Item></Config>");
  std::vector<WideString> items{u"keep"};
  config.GetStringList(u"/Config/Missing", items);
  EXPECT_EQ(items, (std::vector<WideString>{u"keep"}));
  config.GetStringList(u"/Config/Item", items);
  config.GetStringListAlt(u"/Config/Item[2]", items);
  EXPECT_EQ(items, (std::vector<WideString>{u"keep", u"a", u"b", u"c", u"b"}));
  int32_t count = 5;
  EXPECT_EQ(config.GetCount(u"/Config/Item", count), 3);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(config.GetCount(u"/Config/Missing", count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Xml(config, u"/Config/Item[3]"), u"<Item>c</Item>");
  EXPECT_EQ(Xml(config, u"count(/Config)"), u"");
}

TEST(XmlConfig, SetStringCreatesMissingElementsAndAnswersNotImplemented) {
  CXmlConfig config(u"<Config/>");
  EXPECT_EQ(static_cast<uint32_t>(config.SetString(u"/Config/A/B", u"x")), 0x80004001u);
  EXPECT_EQ(Xml(config, u"/Config"), u"<Config><A><B>x</B></A></Config>");
  config.SetString(u"/Config/ A / C ", u"y");
  config.SetString(u"/Config/D/.", u"z");
  EXPECT_EQ(Xml(config, u"/Config"), u"<Config><A><B>x</B><C>y</C></A><D>z</D></Config>");
  config.SetString(u"/Config", u"");
  EXPECT_EQ(Xml(config, u"/Config"), u"<Config/>");
}

TEST(XmlConfig, SetStringWalksFromTheRootWhateverItIsCalled) {
  CXmlConfig config(u"<Config><A>t</A></Config>");
  config.SetString(u"/Config/A/@id", u"7");
  config.SetString(u"/Other/E", u"x");
  config.SetString(u"//F///G", u"y");
  config.SetString(u"/Config/A[2]", u"second");
  EXPECT_EQ(Xml(config, u"/Config"),
            u"<Config><A id=\"7\">t</A><E>x</E><G>y</G><A>second</A></Config>");
  config.SetString(u"/Config/A/@id", u"8");
  config.SetString(u"/Config/E", u"<raw &amp; text>");
  EXPECT_EQ(Xml(config, u"/Config"),
            u"<Config><A id=\"8\">t</A><E>&lt;raw &amp; text&gt;</E><G>y</G><A>second</A></Config>");
}

TEST(XmlConfig, SetStringOfASelectedElementReplacesItsWholeContent) {
  CXmlConfig config(u"<Config><A>a<b/>c</A><A/></Config>");
  config.SetString(u"/Config/A", u"x");
  EXPECT_EQ(Xml(config, u"/Config"), u"<Config><A>x</A><A/></Config>");
  config.SetString(u"//*", u"all");
  EXPECT_EQ(Xml(config, u"/Config"), u"<Config>all</Config>");
}

TEST(XmlConfig, SetStringLeavesEntityReferencesAndEmptyPathsAlone) {
  const WideString text = u"<!DOCTYPE r [<!ENTITY co \"Korvane\">]><r>p&co;q</r>";
  CXmlConfig config(text);
  EXPECT_EQ(config.SetString(u"/r/co", u"x"), E_NOTIMPL);
  EXPECT_EQ(config.SetString(u" / / ", u"x"), E_NOTIMPL);
  EXPECT_EQ(config.SetString(u"", u"x"), E_NOTIMPL);
  WideString value;
  config.GetString(u"/r", value);
  EXPECT_EQ(value, u"pKorvaneq");
  EXPECT_EQ(Xml(config, u"/r"), u"<r>p&co;q</r>");
}

TEST(XmlConfig, TextThatDoesNotParseLeavesDefaultsEverywhere) {
  CXmlConfig config(u"<Config><A>1</Config>");
  int32_t number = 5;
  WideString text = u"preset";
  std::vector<WideString> list{u"keep"};
  EXPECT_EQ(config.SetString(u"/Config/A", u"x"), E_NOTIMPL);
  EXPECT_EQ(config.GetInt(u"/Config/A", number), 0);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(config.GetString(u"/Config/A", text), 0);
  EXPECT_EQ(text, u"");
  EXPECT_EQ(config.GetStringList(u"/Config/A", list), 0);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(config.GetCount(u"/Config/A", number), 0);
  EXPECT_EQ(Xml(config, u"/Config"), u"");
}

TEST(XmlConfig, UnsupportedSlotsAnswerNotImplementedThroughTheInterface) {
  std::unique_ptr<IConfig> config(new CXmlConfig(u"<Config/>"));
  const WideString a = u"/Config", b = u"v";
  for (int answer : {config->Unsupported11(a, b), config->Unsupported12(a, b), config->Unsupported13(a, b),
                     config->Unsupported14(a, b), config->Unsupported15(a, b), config->Unsupported16(a, b),
                     config->Unsupported17(a, b), config->Unsupported18(a), config->Unsupported19(a),
                     config->Unsupported22(a), config->Unsupported23()}) {
    EXPECT_EQ(static_cast<uint32_t>(answer), 0x80004001u);
  }
  EXPECT_EQ(config->Save(), 0);
  WideString xml;
  config->GetNodeXml(a, xml);
  EXPECT_EQ(xml, u"<Config/>");
}

}  // namespace
