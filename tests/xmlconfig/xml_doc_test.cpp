// CXmlDoc: selection, reads, edits, serialisation and saving.
#include <gtest/gtest.h>

#include "support/text_conversion.h"
#include "tests/test_support.h"
#include "xmlconfig/xml_doc.h"

namespace {

const WideString kItems =
    u"<Config><Item id=\"1\">one</Item><!--c--><Item id=\"2\">two</Item><Item>three</Item></Config>";

WideString Name(xmlNodePtr node) {
  return node && node->name ? FromUtf8(reinterpret_cast<const char*>(node->name)) : u"(none)";
}

TEST(XmlDoc, NameStepSelectsTheElementsAndValuesAnswerTheirNames) {
  CXmlDoc xml(kItems);
  ASSERT_EQ(xml.Select(u"/Config/Item/name()"), 0);
  EXPECT_EQ(xml.nodeSet->nodeNr, 3);
  EXPECT_EQ(xml.GetValue(0), u"Item");
  EXPECT_EQ(xml.DumpNode(), u"");
  ASSERT_EQ(xml.Select(u"/Config/Item/@id/name()/ignored"), 0);
  EXPECT_EQ(xml.GetValue(1), u"id");
  ASSERT_EQ(xml.Select(u"/Config/Item"), 0);
  EXPECT_EQ(xml.GetValue(0), u"one");
}

TEST(XmlDoc, FailedSelectionsAnswerMinusTwoOrThreeAndClearTheSelection) {
  CXmlDoc xml(kItems);
  ASSERT_EQ(xml.Select(u"/Config/Item"), 0);
  EXPECT_EQ(xml.Select(u"count(/Config)"), -2);
  EXPECT_EQ(xml.nodeSet, nullptr);
  EXPECT_EQ(xml.GetAttribute(u"id"), u"");
  EXPECT_EQ(xml.DumpNode(), u"");
  xml.SetAttribute(u"x", u"y");
  EXPECT_EQ(xml.Select(u"//@x"), -2);
  ASSERT_EQ(xml.Select(u"/Config/Item"), 0);
  EXPECT_EQ(xml.Select(u"/Config/Item["), -3);
  EXPECT_EQ(xml.GetValue(0), u"");
  EXPECT_EQ(xml.Select(u""), -3);
}

TEST(XmlDoc, ValueIsTheDirectTextOfTheNodeWithCdataAndEntities) {
  CXmlDoc xml(
      u"<!DOCTYPE r [<!ENTITY co \"Korvane\">]>"
      u"<r k=\"v&amp;&co;\"><a>x<b>y</b>z</a><c><d>only</d></c><e>p<![CDATA[<q>]]>&co;\u00e9\U00010348</e></r>");
  ASSERT_EQ(xml.Select(u"/r/*"), 0);
  EXPECT_EQ(xml.GetValue(0), u"xz");
  EXPECT_EQ(xml.GetValue(1), u"");
  EXPECT_EQ(xml.GetValue(2), u"p<q>Korvane\u00e9\U00010348");
  EXPECT_EQ(xml.GetValue(3), u"");
  EXPECT_EQ(xml.GetValue(-1), u"");
  ASSERT_EQ(xml.Select(u"/r/@k"), 0);
  EXPECT_EQ(xml.GetValue(0), u"v&Korvane");
  ASSERT_EQ(xml.Select(u"/r"), 0);
  EXPECT_EQ(xml.GetAttribute(u"k"), u"v&Korvane");
}

TEST(XmlDoc, AttributeAndDumpReadTheFirstSelectedNode) {
  CXmlDoc xml(kItems);
  ASSERT_EQ(xml.Select(u"/Config/Item"), 0);
  EXPECT_EQ(xml.GetAttribute(u"id"), u"1");
  EXPECT_EQ(xml.GetAttribute(u"ID"), u"");
  EXPECT_EQ(xml.DumpNode(), u"<Item id=\"1\">one</Item>");
  ASSERT_EQ(xml.Select(u"/Config"), 0);
  EXPECT_EQ(xml.DumpNode(), kItems);
}

TEST(XmlDoc, NamespaceNodesReadAsEmptyAndRefuseEdits) {
  CXmlDoc xml(u"<r xmlns:p=\"urn:p\"><x/></r>");
  ASSERT_EQ(xml.Select(u"/r/namespace::p"), 0);
  xmlNodePtr ns = xml.nodeSet->nodeTab[0];
  EXPECT_EQ(xml.GetValue(0), u"");
  EXPECT_EQ(xml.FindChild(u"x", ns), nullptr);
  EXPECT_EQ(xml.AddChild(u"x", u"v", ns), nullptr);
  EXPECT_EQ(xml.SetNodeContent(u"v", ns), nullptr);
  ASSERT_EQ(xml.Select(u"/r/namespace::p/name()"), 0);
  EXPECT_EQ(xml.GetValue(0), u"");
  EXPECT_EQ(xml.DumpNode(), u"");
}

TEST(XmlDoc, FindChildCountsSameNamedChildrenFromOne) {
  CXmlDoc xml(kItems);
  xmlNodePtr config = xmlDocGetRootElement(xml.doc);
  ASSERT_EQ(xml.Select(u"/Config/Item"), 0);
  xmlNodePtr* items = xml.nodeSet->nodeTab;
  EXPECT_EQ(xml.FindChild(u"Item[2]", config), items[1]);
  EXPECT_EQ(xml.FindChild(u"Item[ 3]", config), items[2]);
  EXPECT_EQ(xml.FindChild(u"Item[2", config), items[1]);
  EXPECT_EQ(xml.FindChild(u"Item", config), items[0]);
  EXPECT_EQ(xml.FindChild(u"Item[0]", config), items[0]);
  EXPECT_EQ(xml.FindChild(u"Item[x]", config), items[0]);
  EXPECT_EQ(xml.FindChild(u"Item[5]", config), nullptr);
  EXPECT_EQ(xml.FindChild(u"item", config), nullptr);
  EXPECT_EQ(Name(xml.FindChild(u"comment", config)), u"comment");
}

TEST(XmlDoc, AddChildAppendsAnElementNamedBeforeTheBracket) {
  CXmlDoc xml(u"<Config><Item/></Config>");
  xmlNodePtr config = xmlDocGetRootElement(xml.doc);
  EXPECT_EQ(Name(xml.AddChild(u"Item[3]", u"", config)), u"Item");
  EXPECT_EQ(Name(xml.AddChild(u"Item", u"v", config)), u"Item");
  EXPECT_EQ(xml.AddChild(u"Item", u"v", nullptr), nullptr);
  EXPECT_EQ(xml.Dump(), u"<?xml version=\"1.0\"?>\n<Config><Item/><Item/><Item>v</Item></Config>\n");
}

TEST(XmlDoc, EditsChangeTheDocumentAndKeepTheSelection) {
  CXmlDoc xml(u"<r><a k=\"old\">t</a><b/></r>");
  ASSERT_EQ(xml.Select(u"/r/*"), 0);
  xml.SetAttribute(u"k", u"new");
  xml.SetAttribute(u"q", u"<\"&>");
  xmlNodePtr b = xml.nodeSet->nodeTab[1];
  EXPECT_NE(xml.SetNodeAttribute(u"z", u"1", b), nullptr);
  EXPECT_EQ(xml.SetNodeContent(u"x &amp; <y>", b), b);
  EXPECT_EQ(xml.nodeSet->nodeNr, 2);
  EXPECT_EQ(xml.GetValue(1), u"x & <y>");
  ASSERT_EQ(xml.Select(u"/r/a/@k"), 0);
  EXPECT_NE(xml.SetNodeContent(u"attr", xml.nodeSet->nodeTab[0]), nullptr);
  EXPECT_EQ(xml.Dump(),
            u"<?xml version=\"1.0\"?>\n"
            u"<r><a k=\"attr\" q=\"&lt;&quot;&amp;&gt;\">t</a><b z=\"1\">x &amp; &lt;y&gt;</b></r>\n");
}

TEST(XmlDoc, ContentEditsNeverLeaveFreedNodesBehind) {
  CXmlDoc xml(u"<!DOCTYPE r [<!ENTITY co \"Korvane\">]><r>p&co;q<a><b/></a></r>");
  xmlNodePtr reference = xml.FindChild(u"co", xmlDocGetRootElement(xml.doc));
  ASSERT_EQ(reference->type, XML_ENTITY_REF_NODE);
  EXPECT_EQ(xml.SetNodeContent(u"zz", reference), nullptr);
  ASSERT_EQ(xml.Select(u"//*"), 0);
  EXPECT_EQ(xml.GetValue(0), u"pKorvaneq");
  xmlNodePtr root = xml.nodeSet->nodeTab[0];
  EXPECT_EQ(xml.SetNodeContent(u"x", root), root);
  EXPECT_EQ(xml.nodeSet, nullptr);
}

TEST(XmlDoc, CreateRootMakesARootOnlyWhenThereIsNone) {
  CXmlDoc xml(u"<!--keep--><Old/>");
  xmlNodePtr old = xmlDocGetRootElement(xml.doc);
  EXPECT_EQ(xml.CreateRoot(u"Other"), old);
  xmlUnlinkNode(old);
  xmlFreeNode(old);
  EXPECT_EQ(Name(xml.CreateRoot(u"Config")), u"Config");
  EXPECT_EQ(xml.Dump(), u"<?xml version=\"1.0\"?>\n<!--keep-->\n<Config/>\n");
}

TEST(XmlDoc, TextThatDoesNotParseBehavesAsAnEmptyDocument) {
  testing_support::TempDir dir;
  for (const WideString& text : {WideString(u"<a><b></a>"), WideString(u""), WideString(u"plain")}) {
    CXmlDoc xml(text);
    EXPECT_EQ(xml.doc, nullptr);
    EXPECT_EQ(xml.Select(u"/a"), -2);
    EXPECT_EQ(xml.Select(u"."), -2);
    EXPECT_EQ(xml.Select(u"/a["), -3);
    EXPECT_EQ(xml.GetValue(0), u"");
    EXPECT_EQ(xml.GetAttribute(u"x"), u"");
    xml.SetAttribute(u"x", u"y");
    EXPECT_EQ(xml.CreateRoot(u"a"), nullptr);
    EXPECT_EQ(xml.Dump(), u"");
    xml.SaveFile(FromUtf8(dir.path() + "/out.xml"));
    EXPECT_FALSE(testing_support::FileExists(dir.path() + "/out.xml"));
  }
}

TEST(XmlDoc, DumpAndSaveGiveTheLibrarySerialisation) {
  EXPECT_EQ(CXmlDoc(u"<r a='1'>x</r>").Dump(), u"<?xml version=\"1.0\"?>\n<r a=\"1\">x</r>\n");
  EXPECT_EQ(CXmlDoc(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\u00e9</r>").Dump(),
            u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>caf\u00e9</r>\n");
  CXmlDoc built(u"<r/>");
  xmlNodeSetContent(xmlDocGetRootElement(built.doc), reinterpret_cast<const xmlChar*>("\xC3\xA9"));
  built.doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("ISO-8859-1"));
  // The library writes é as the single byte E9, which is not UTF-8.
  EXPECT_EQ(built.Dump(), u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\uFFFD</r>\n");
  testing_support::TempDir dir;
  CXmlDoc xml(u"<r><a>\u00e9</a></r>");
  xml.SaveFile(FromUtf8(dir.path()) + u"/d\u00e9j\u00e0.xml");
  EXPECT_EQ(testing_support::ReadFile(dir.path() + "/d\xC3\xA9j\xC3\xA0.xml"),
            "<?xml version=\"1.0\"?>\n<r><a>&#xE9;</a></r>\n");
}

}  // namespace
