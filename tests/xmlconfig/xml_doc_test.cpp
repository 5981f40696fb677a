// CXmlDoc: selection, reads, edits, serialisation and saving.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/text_conversion.h"
#include "tests/common/test_support.h"
#include "xmlconfig/xml_doc.h"
#include "xmlconfig/xml_encoding.h"

namespace {

const WideString kItems =
    WIDE("<Config><Item id=\"1\">one</Item><!--c--><Item id=\"2\">two</Item><Item>three</Item></Config>");

WideString Name(xmlNodePtr node) {
  return node && node->name ? FromUtf8(reinterpret_cast<const char*>(node->name)) : WIDE("(none)");
}

TEST(XmlDoc, NameStepSelectsTheElementsAndValuesAnswerTheirNames) {
  CXmlDoc xml(kItems);
  ASSERT_EQ(xml.Select(WIDE("/Config/Item/name()")), 0);
  EXPECT_EQ(xml.nodeSet->nodeNr, 3);
  EXPECT_EQ(xml.GetValue(0), WIDE("Item"));
  EXPECT_EQ(xml.DumpNode(), WIDE(""));
  ASSERT_EQ(xml.Select(WIDE("/Config/Item/@id/name()/ignored")), 0);
  EXPECT_EQ(xml.GetValue(1), WIDE("id"));
  ASSERT_EQ(xml.Select(WIDE("/Config/Item")), 0);
  EXPECT_EQ(xml.GetValue(0), WIDE("one"));
}

// Plain child paths are walked, not evaluated; with spaces between the steps
// the same paths go through XPath, and both must select the same nodes.
TEST(XmlDoc, PlainChildPathsSelectWhatXPathSelects) {
  CXmlDoc xml(WIDE("<!--c--><?pi x?><Root xmlns:p=\"urn:p\"><A/><p:A/><A xmlns=\"urn:d\"><A/></A>"
                   "<B><A xmlns=\"\"><A/></A></B><A><A/><_x.y-1/></A></Root>"));
  for (const WideString path : {WIDE("/Root"), WIDE("/Root/A"), WIDE("/Root/*"), WIDE("/Root/*/A"),
                                WIDE("/*/*/*"), WIDE("/Root/B/A/A"), WIDE("/A"), WIDE("/Root/A/_x.y-1")}) {
    WideString spaced;
    for (WideChar c : path) spaced += c == WIDE('/') ? WIDE(" / ") : WideString(1, c);
    const int walked = xml.Select(path);
    std::vector<xmlNodePtr> nodes;
    for (int k = 0; walked == 0 && k < xml.nodeSet->nodeNr; ++k) nodes.push_back(xml.nodeSet->nodeTab[k]);
    const WideString firstName = xml.GetValue(0);
    ASSERT_EQ(xml.Select(spaced), walked) << ToUtf8(path);
    for (size_t k = 0; k < nodes.size(); ++k) {
      ASSERT_LT(k, static_cast<size_t>(xml.nodeSet->nodeNr)) << ToUtf8(path);
      EXPECT_EQ(xml.nodeSet->nodeTab[k], nodes[k]) << ToUtf8(path) << " node " << k;
    }
    if (walked == 0) {
      EXPECT_EQ(xml.nodeSet->nodeNr, static_cast<int>(nodes.size())) << ToUtf8(path);
    }
    EXPECT_EQ(xml.GetValue(0), firstName) << ToUtf8(path);
    ASSERT_EQ(xml.SelectFirst(path), walked) << ToUtf8(path);
    if (walked == 0) {
      EXPECT_EQ(xml.nodeSet->nodeNr, 1) << ToUtf8(path);
      EXPECT_EQ(xml.nodeSet->nodeTab[0], nodes[0]) << ToUtf8(path);
    }
  }
}

TEST(XmlDoc, FailedSelectionsAnswerMinusTwoOrThreeAndClearTheSelection) {
  CXmlDoc xml(kItems);
  ASSERT_EQ(xml.Select(WIDE("/Config/Item")), 0);
  EXPECT_EQ(xml.Select(WIDE("count(/Config)")), -2);
  EXPECT_EQ(xml.nodeSet, nullptr);
  EXPECT_EQ(xml.GetAttribute(WIDE("id")), WIDE(""));
  EXPECT_EQ(xml.DumpNode(), WIDE(""));
  xml.SetAttribute(WIDE("x"), WIDE("y"));
  EXPECT_EQ(xml.Select(WIDE("//@x")), -2);
  ASSERT_EQ(xml.Select(WIDE("/Config/Item")), 0);
  EXPECT_EQ(xml.Select(WIDE("/Config/Item[")), -3);
  EXPECT_EQ(xml.GetValue(0), WIDE(""));
  EXPECT_EQ(xml.Select(WIDE("")), -3);
}

TEST(XmlDoc, ValueIsTheDirectTextOfTheNodeWithCdataAndEntities) {
  CXmlDoc xml(
      WIDE("<!DOCTYPE r [<!ENTITY co \"Korvane\">]>")
      WIDE("<r k=\"v&amp;&co;\"><a>x<b>y</b>z</a><c><d>only</d></c><e>p<![CDATA[<q>]]>&co;\u00e9\U00010348</e></r>"));
  ASSERT_EQ(xml.Select(WIDE("/r/*")), 0);
  EXPECT_EQ(xml.GetValue(0), WIDE("xz"));
  EXPECT_EQ(xml.GetValue(1), WIDE(""));
  EXPECT_EQ(xml.GetValue(2), WIDE("p<q>Korvane\u00e9\U00010348"));
  EXPECT_EQ(xml.GetValue(3), WIDE(""));
  EXPECT_EQ(xml.GetValue(-1), WIDE(""));
  ASSERT_EQ(xml.Select(WIDE("/r/@k")), 0);
  EXPECT_EQ(xml.GetValue(0), WIDE("v&Korvane"));
  ASSERT_EQ(xml.Select(WIDE("/r")), 0);
  EXPECT_EQ(xml.GetAttribute(WIDE("k")), WIDE("v&Korvane"));
}

TEST(XmlDoc, AttributeAndDumpReadTheFirstSelectedNode) {
  CXmlDoc xml(kItems);
  ASSERT_EQ(xml.Select(WIDE("/Config/Item")), 0);
  EXPECT_EQ(xml.GetAttribute(WIDE("id")), WIDE("1"));
  EXPECT_EQ(xml.GetAttribute(WIDE("ID")), WIDE(""));
  EXPECT_EQ(xml.DumpNode(), WIDE("<Item id=\"1\">one</Item>"));
  ASSERT_EQ(xml.Select(WIDE("/Config")), 0);
  EXPECT_EQ(xml.DumpNode(), kItems);
}

TEST(XmlDoc, NamespaceNodesReadAsEmptyAndRefuseEdits) {
  CXmlDoc xml(WIDE("<r xmlns:p=\"urn:p\"><x/></r>"));
  ASSERT_EQ(xml.Select(WIDE("/r/namespace::p")), 0);
  xmlNodePtr ns = xml.nodeSet->nodeTab[0];
  EXPECT_EQ(xml.GetValue(0), WIDE(""));
  EXPECT_EQ(xml.FindChild(WIDE("x"), ns), nullptr);
  EXPECT_EQ(xml.AddChild(WIDE("x"), WIDE("v"), ns), nullptr);
  EXPECT_EQ(xml.SetNodeContent(WIDE("v"), ns), nullptr);
  ASSERT_EQ(xml.Select(WIDE("/r/namespace::p/name()")), 0);
  EXPECT_EQ(xml.GetValue(0), WIDE(""));
  EXPECT_EQ(xml.DumpNode(), WIDE(""));
}

TEST(XmlDoc, FindChildCountsSameNamedChildrenFromOne) {
  CXmlDoc xml(kItems);
  xmlNodePtr config = xmlDocGetRootElement(xml.doc);
  ASSERT_EQ(xml.Select(WIDE("/Config/Item")), 0);
  xmlNodePtr* items = xml.nodeSet->nodeTab;
  EXPECT_EQ(xml.FindChild(WIDE("Item[2]"), config), items[1]);
  EXPECT_EQ(xml.FindChild(WIDE("Item[ 3]"), config), items[2]);
  EXPECT_EQ(xml.FindChild(WIDE("Item[2"), config), items[1]);
  EXPECT_EQ(xml.FindChild(WIDE("Item"), config), items[0]);
  EXPECT_EQ(xml.FindChild(WIDE("Item[0]"), config), items[0]);
  EXPECT_EQ(xml.FindChild(WIDE("Item[x]"), config), items[0]);
  EXPECT_EQ(xml.FindChild(WIDE("Item[5]"), config), nullptr);
  EXPECT_EQ(xml.FindChild(WIDE("item"), config), nullptr);
  EXPECT_EQ(Name(xml.FindChild(WIDE("comment"), config)), WIDE("comment"));
}

TEST(XmlDoc, AddChildAppendsAnElementNamedBeforeTheBracket) {
  CXmlDoc xml(WIDE("<Config><Item/></Config>"));
  xmlNodePtr config = xmlDocGetRootElement(xml.doc);
  EXPECT_EQ(Name(xml.AddChild(WIDE("Item[3]"), WIDE(""), config)), WIDE("Item"));
  EXPECT_EQ(Name(xml.AddChild(WIDE("Item"), WIDE("v"), config)), WIDE("Item"));
  EXPECT_EQ(xml.AddChild(WIDE("Item"), WIDE("v"), nullptr), nullptr);
  EXPECT_EQ(xml.Dump(), WIDE("<?xml version=\"1.0\"?>\n<Config><Item/><Item/><Item>v</Item></Config>\n"));
}

TEST(XmlDoc, EditsChangeTheDocumentAndKeepTheSelection) {
  CXmlDoc xml(WIDE("<r><a k=\"old\">t</a><b/></r>"));
  ASSERT_EQ(xml.Select(WIDE("/r/*")), 0);
  xml.SetAttribute(WIDE("k"), WIDE("new"));
  xml.SetAttribute(WIDE("q"), WIDE("<\"&>"));
  xmlNodePtr b = xml.nodeSet->nodeTab[1];
  EXPECT_NE(xml.SetNodeAttribute(WIDE("z"), WIDE("1"), b), nullptr);
  EXPECT_EQ(xml.SetNodeContent(WIDE("x &amp; <y>"), b), b);
  EXPECT_EQ(xml.nodeSet->nodeNr, 2);
  EXPECT_EQ(xml.GetValue(1), WIDE("x & <y>"));
  ASSERT_EQ(xml.Select(WIDE("/r/a/@k")), 0);
  EXPECT_NE(xml.SetNodeContent(WIDE("attr"), xml.nodeSet->nodeTab[0]), nullptr);
  EXPECT_EQ(xml.Dump(),
            WIDE("<?xml version=\"1.0\"?>\n")
            WIDE("<r><a k=\"attr\" q=\"&lt;&quot;&amp;&gt;\">t</a><b z=\"1\">x &amp; &lt;y&gt;</b></r>\n"));
}

TEST(XmlDoc, ContentEditsNeverLeaveFreedNodesBehind) {
  CXmlDoc xml(WIDE("<!DOCTYPE r [<!ENTITY co \"Korvane\">]><r>p&co;q<a><b/></a></r>"));
  xmlNodePtr reference = xml.FindChild(WIDE("co"), xmlDocGetRootElement(xml.doc));
  ASSERT_EQ(reference->type, XML_ENTITY_REF_NODE);
  EXPECT_EQ(xml.SetNodeContent(WIDE("zz"), reference), nullptr);
  ASSERT_EQ(xml.Select(WIDE("//*")), 0);
  EXPECT_EQ(xml.GetValue(0), WIDE("pKorvaneq"));
  xmlNodePtr root = xml.nodeSet->nodeTab[0];
  EXPECT_EQ(xml.SetNodeContent(WIDE("x"), root), root);
  EXPECT_EQ(xml.nodeSet, nullptr);
}

TEST(XmlDoc, MovingSelectedElementsTakesInnerOnesAlongAndEndsTheSelection) {
  CXmlDoc xml(WIDE("<r><a><a/></a>t<b/><w/></r>"));
  xmlNodePtr w = xml.FindChild(WIDE("w"), xmlDocGetRootElement(xml.doc));
  // r holds w and the text is no element: both stay.
  ASSERT_EQ(xml.Select(WIDE("//a | /r/text() | /r")), 0);
  xml.MoveSelectedElementsUnder(w);
  EXPECT_EQ(xml.nodeSet, nullptr);
  EXPECT_EQ(xml.Dump(), WIDE("<?xml version=\"1.0\"?>\n<r>t<b/><w><a><a/></a></w></r>\n"));
}

TEST(XmlDoc, CreateRootMakesARootOnlyWhenThereIsNone) {
  CXmlDoc xml(WIDE("<!--keep--><Old/>"));
  xmlNodePtr old = xmlDocGetRootElement(xml.doc);
  EXPECT_EQ(xml.CreateRoot(WIDE("Other")), old);
  xmlUnlinkNode(old);
  xmlFreeNode(old);
  EXPECT_EQ(Name(xml.CreateRoot(WIDE("Config"))), WIDE("Config"));
  EXPECT_EQ(xml.Dump(), WIDE("<?xml version=\"1.0\"?>\n<!--keep-->\n<Config/>\n"));
}

TEST(XmlDoc, TextThatDoesNotParseBehavesAsAnEmptyDocument) {
  testing_support::TempDir dir;
  for (const WideString& text : {WideString(WIDE("<a><b></a>")), WideString(WIDE("")), WideString(WIDE("plain"))}) {
    CXmlDoc xml(text);
    EXPECT_EQ(xml.doc, nullptr);
    EXPECT_EQ(xml.Select(WIDE("/a")), -2);
    EXPECT_EQ(xml.Select(WIDE(".")), -2);
    EXPECT_EQ(xml.Select(WIDE("/a[")), -3);
    EXPECT_EQ(xml.GetValue(0), WIDE(""));
    EXPECT_EQ(xml.GetAttribute(WIDE("x")), WIDE(""));
    xml.SetAttribute(WIDE("x"), WIDE("y"));
    EXPECT_EQ(xml.CreateRoot(WIDE("a")), nullptr);
    EXPECT_EQ(xml.Dump(), WIDE(""));
    xml.SaveFile(FromUtf8(dir.path() + "/out.xml"));
    EXPECT_FALSE(testing_support::FileExists(dir.path() + "/out.xml"));
  }
}

TEST(XmlDoc, DumpAndSaveGiveTheLibrarySerialisation) {
  EXPECT_EQ(CXmlDoc(WIDE("<r a='1'>x</r>")).Dump(), WIDE("<?xml version=\"1.0\"?>\n<r a=\"1\">x</r>\n"));
  EXPECT_EQ(CXmlDoc(WIDE("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\u00e9</r>")).Dump(),
            WIDE("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>caf\u00e9</r>\n"));
  CXmlDoc built(WIDE("<r/>"));
  xmlNodeSetContent(xmlDocGetRootElement(built.doc), reinterpret_cast<const xmlChar*>("\xC3\xA9"));
  built.doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("ISO-8859-1"));
  // Written as UTF-8 whatever the document declares: the tree holds the
  // characters themselves, and the declaration keeps the name.
  EXPECT_EQ(built.Dump(), WIDE("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\u00e9</r>\n"));
  for (const WideChar* declared : {WIDE("UTF-16"), WIDE("windows-1252"), WIDE("KOI8-R"), WIDE("latin1")}) {
    const WideString declaration = WIDE("<?xml version=\"1.0\" encoding=\"") + WideString(declared) +
                                   WIDE("\" standalone=\"yes\"?>");
    CXmlDoc text(declaration + WIDE("<r a=\"\u00e9\">\u20ac\U0001D11E</r>"));
    ASSERT_EQ(text.Select(WIDE("/r")), 0) << ToUtf8(declared);
    EXPECT_EQ(text.GetValue(0), WIDE("\u20ac\U0001D11E"));
    EXPECT_EQ(text.GetAttribute(WIDE("a")), WIDE("\u00e9"));
    EXPECT_EQ(text.Dump(), declaration + WIDE("\n<r a=\"\u00e9\">\u20ac\U0001D11E</r>\n"));
  }
  // Long enough to be written in many pieces, with sequences across their ends.
  WideString many;
  for (int i = 0; i < 40000; ++i) many += WIDE("\u00e9\u20ac\U0001D11E");
  const WideString utf8 = WIDE("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  EXPECT_EQ(CXmlDoc(utf8 + WIDE("<r>") + many + WIDE("</r>")).Dump(), utf8 + WIDE("\n<r>") + many + WIDE("</r>\n"));
  testing_support::TempDir dir;
  CXmlDoc xml(WIDE("<r><a>\u00e9</a></r>"));
  xml.SaveFile(FromUtf8(dir.path()) + WIDE("/d\u00e9j\u00e0.xml"));
  EXPECT_EQ(testing_support::ReadFile(dir.path() + "/d\xC3\xA9j\xC3\xA0.xml"),
            "<?xml version=\"1.0\"?>\n<r><a>&#xE9;</a></r>\n");
}

// The reports that quorvil-template words for an administrator: asked for,
// they change nothing of what is read or parsed.
TEST(XmlDoc, ReadingReportSaysTheEncodingWhereReadingStoppedAndWhatWasReplaced) {
  struct Case {
    std::string bytes, encoding, declared;
    size_t bytesRead;
    std::vector<size_t> replacedAt;
  };
  const std::string utf16 = std::string("\xFF\xFE<\0R\0\x00\xD8>\0", 10) + "x";
  const std::vector<Case> cases = {
      {"<R>caf\xC3\xA9</R>", "UTF-8", "", 12, {}},
      {std::string("<R/>\0<x", 7), "UTF-8", "", 4, {}},
      {"<?xml version='1.0' encoding='latin1'?><R>\xE9</R>", "ISO-8859-1", "latin1", 47, {}},
      {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><R>\xE9\xE8</R>", "US-ASCII", "US-ASCII", 50, {44, 45}},
      {"<R>\xFF ok \xC3</R>", "UTF-8", "", 13, {3, 8}},
      {utf16, "UTF-16LE", "", 11, {6, 10}},
  };
  for (const Case& c : cases) {
    XmlTextReading reading;
    const WideString text = XmlTextFromBytes(c.bytes.data(), c.bytes.size(), &reading);
    EXPECT_EQ(text, XmlTextFromBytes(c.bytes.data(), c.bytes.size())) << c.bytes;
    EXPECT_EQ(reading.encoding, c.encoding) << c.bytes;
    EXPECT_EQ(reading.declared, c.declared) << c.bytes;
    EXPECT_EQ(reading.bytesRead, c.bytesRead) << c.bytes;
    EXPECT_EQ(reading.replacements, c.replacedAt.size()) << c.bytes;
    EXPECT_EQ(reading.replacedAt, c.replacedAt) << c.bytes;
  }
  // Past the listed ones, only counted.
  const std::string many = "<R>" + std::string(40, '\xFF') + "</R>";
  XmlTextReading reading;
  XmlTextFromBytes(many.data(), many.size(), &reading);
  EXPECT_EQ(reading.replacements, 40u);
  EXPECT_EQ(reading.replacedAt.size(), kReplacementsListed);
}

TEST(XmlDoc, ParseReportKeepsLibxmlsFirstFatalErrorAndTheExpansionRefusal) {
  XmlParseReport report;
  const std::string bad = "<Root>\n  <A>x</B>\n</Root>";
  CXmlDoc refused(bad.data(), bad.size(), &report);
  EXPECT_EQ(refused.doc, nullptr);
  EXPECT_EQ(report.inputBytes, bad.size());
  EXPECT_EQ(report.errorCode, XML_ERR_TAG_NAME_MISMATCH);
  EXPECT_EQ(report.errorLevel, XML_ERR_FATAL);
  EXPECT_EQ(report.line, 2);
  EXPECT_EQ(report.message, "Opening and ending tag mismatch: A line 2 and B");
  EXPECT_FALSE(report.expansionRefused);

  // An error that leaves the document well-formed is kept, the document too.
  CXmlDoc kept(WIDE("<Root><a:B/></Root>"), &report);
  EXPECT_NE(kept.doc, nullptr);
  EXPECT_EQ(report.errorCode, XML_NS_ERR_UNDEFINED_NAMESPACE);
  EXPECT_EQ(report.errorLevel, XML_ERR_ERROR);

  std::string heavy = "<!DOCTYPE Root [<!ENTITY e \"" + std::string(100 * 1024, 'e') + "\">]><Root>";
  for (int i = 0; i < 60; ++i) heavy += "&e;";
  heavy += "</Root>";
  CXmlDoc expanded(heavy.data(), heavy.size(), &report);
  EXPECT_EQ(expanded.doc, nullptr);
  EXPECT_TRUE(report.expansionRefused);
  EXPECT_EQ(report.expansionLimit, kXmlEntityAmplification * heavy.size() + kXmlEntityAllowance);
  EXPECT_EQ(report.errorCode, 0);

  CXmlDoc empty("", 0, &report);
  EXPECT_EQ(empty.doc, nullptr);
  EXPECT_EQ(report.inputBytes, 0u);
  EXPECT_EQ(report.errorCode, 0);
}

}  // namespace
