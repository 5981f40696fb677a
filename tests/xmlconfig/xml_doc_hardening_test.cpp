// CXmlDoc against untrusted text and libxml2 defaults changed by the host.
#include <gtest/gtest.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <string>
#include <vector>

#include "support/text_conversion.h"
#include "text/utf.h"
#include "xmlconfig/xml_config.h"
#include "xmlconfig/xml_doc.h"
#include "xmlconfig/xml_encoding.h"

namespace {

int loads = 0;

xmlParserInputPtr CountingLoader(const char*, const char*, xmlParserCtxtPtr context) {
  ++loads;
  return xmlNewStringInputStream(context, reinterpret_cast<const xmlChar*>("SECRET"));
}

// What another library in the host process might have set.
class HostileDefaults {
 public:
  HostileDefaults()
      : substitute(xmlSubstituteEntitiesDefault(1)),
        indent(xmlIndentTreeOutput),
        keepBlanks(xmlKeepBlanksDefault(0)),
        loadDtd(xmlLoadExtDtdDefaultValue),
        validate(xmlDoValidityCheckingDefaultValue),
        sax(xmlSAXDefaultVersion(1)),
        loader(xmlGetExternalEntityLoader()) {
    xmlLoadExtDtdDefaultValue = XML_DETECT_IDS | XML_COMPLETE_ATTRS;
    xmlDoValidityCheckingDefaultValue = 1;
    xmlSetExternalEntityLoader(CountingLoader);
    loads = 0;
  }
  ~HostileDefaults() {
    xmlSubstituteEntitiesDefault(substitute);
    xmlKeepBlanksDefault(keepBlanks);
    xmlIndentTreeOutput = indent;
    xmlLoadExtDtdDefaultValue = loadDtd;
    xmlDoValidityCheckingDefaultValue = validate;
    xmlSAXDefaultVersion(sax);
    xmlSetExternalEntityLoader(loader);
  }

 private:
  int substitute, indent, keepBlanks, loadDtd, validate, sax;
  xmlExternalEntityLoader loader;
};

bool PlainParseAccepts(const WideString& text) {
  const std::string bytes = ToUtf8(text);
  xmlDocPtr doc = xmlParseMemory(bytes.data(), static_cast<int>(bytes.size()));
  xmlFreeDoc(doc);
  return doc != nullptr;
}

std::string DumpBytes(xmlDocPtr doc) {
  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc, &bytes, &size);
  std::string result(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  xmlFree(bytes);
  return result;
}

TEST(XmlDocHardening, ExternalEntitiesAndDtdsAreNeverLoadedWhateverTheDefaults) {
  HostileDefaults hostile;
  const WideString external =
      WIDE("<!DOCTYPE r [<!ENTITY ext SYSTEM \"file:///etc/hostname\">]><r a=\"1\">a&ext;b</r>");
  ASSERT_TRUE(PlainParseAccepts(external));
  ASSERT_GT(loads, 0) << "the hostile defaults make a plain parse load entities";
  loads = 0;
  const WideString documents[] = {
      external,
      WIDE("<!DOCTYPE r SYSTEM \"file:///nonexistent/r.dtd\"><r a=\"1\">ab</r>"),
      WIDE("<!DOCTYPE r [<!ENTITY % p SYSTEM \"file:///nonexistent/p.ent\"> %p;]><r a=\"1\">ab</r>"),
  };
  for (const WideString& text : documents) {
    CXmlDoc xml(text);
    ASSERT_NE(xml.doc, nullptr) << ToUtf8(text);
    ASSERT_EQ(xml.Select(WIDE("/r")), 0);
    EXPECT_EQ(xml.GetValue(0), WIDE("ab"));
    EXPECT_EQ(xml.GetAttribute(WIDE("a")), WIDE("1"));
    EXPECT_EQ(xml.Dump().find(WIDE("SECRET")), WideString::npos);
    CXmlConfig config(text);
    EXPECT_EQ(config.SetString(WIDE("/r/x"), WIDE("&ext;")), E_NOTIMPL);
    WideString value;
    config.GetString(WIDE("/r/x"), value);
    EXPECT_EQ(value, WIDE(""));
  }
  EXPECT_EQ(loads, 0);
}

std::vector<WideString> OrdinaryDocuments() {
  std::vector<WideString> documents = {
      WIDE("<r>\n  <a> x </a>\n\t<b/>\n</r>\n"),
      WIDE("<?xml version=\"1.0\"?>\n<r><![CDATA[<not> & markup]]>tail</r>"),
      WIDE("<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n<!-- lead -->\n<r><?t some data?><!--in--></r>\n<!--x-->"),
      WIDE("<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:a p:k=\"v\"/><b xmlns=\"\"/></r>"),
      WIDE("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\u00e9\">caf\u00e9</r>"),
      WIDE("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\u20ac</r>"),
      WIDE("\uFEFF<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>bom</r>"),
      WIDE("\uFEFF<r/>"),
      WIDE("<!DOCTYPE r [\n<!ATTLIST r a CDATA \"d\" b ID #IMPLIED>\n]>\n<r b=\"x\"/>"),
      WIDE("<!DOCTYPE r [<!ENTITY co \"Korvane &amp; Co\">]><r t=\"&co;\">&co; &#233;&#x10348;</r>"),
      WIDE("<?xml version=\"1.0\" standalone=\"yes\"?><r><e/><e></e><q a='&quot;&apos;&lt;'/></r>"),
      WIDE("<!DOCTYPE r SYSTEM \"r.dtd\"><r/>"),
  };
  WideString deep;
  for (int i = 0; i < 200; ++i) deep += WIDE("<d>");
  deep += WIDE("leaf");
  for (int i = 0; i < 200; ++i) deep += WIDE("</d>");
  documents.push_back(deep);
  return documents;
}

void ExpectSameAsPlainParse(const std::vector<WideString>& documents,
                            const std::vector<std::string>& expected) {
  for (size_t i = 0; i < documents.size(); ++i) {
    CXmlDoc xml(documents[i]);
    ASSERT_NE(xml.doc, nullptr) << ToUtf8(documents[i]);
    // A plain parse reads the UTF-8 bytes of a text that declares another
    // encoding in that encoding, so its tree holds other characters; the
    // serialisations still agree.
    const std::string bytes = ToUtf8(documents[i]);
    const std::string declared = DeclaredEncoding(bytes.data(), bytes.size());
    if (declared.empty() || NamesUtf8(declared)) {
      EXPECT_EQ(DumpBytes(xml.doc), expected[i]) << bytes;
    }
    EXPECT_EQ(xml.Dump(), unicode::Utf8ToUtf16(expected[i].data(), expected[i].size()));
  }
}

TEST(XmlDocHardening, OrdinaryDocumentsSerialiseExactlyAsAfterAPlainParse) {
  const std::vector<WideString> documents = OrdinaryDocuments();
  std::vector<std::string> expected;
  for (const WideString& text : documents) {
    const std::string bytes = ToUtf8(text);
    xmlDocPtr doc = xmlParseMemory(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(doc, nullptr) << bytes;
    expected.push_back(DumpBytes(doc));
    xmlFreeDoc(doc);
  }
  ExpectSameAsPlainParse(documents, expected);
  HostileDefaults hostile;
  ExpectSameAsPlainParse(documents, expected);
  EXPECT_EQ(loads, 0);
}

TEST(XmlDocHardening, TextAPlainParseRefusesIsRefusedToo) {
  WideString tooDeep;
  for (int i = 0; i < 300; ++i) tooDeep += WIDE("<d>");
  for (int i = 0; i < 300; ++i) tooDeep += WIDE("</d>");
  for (const WideString& text : {WideString(WIDE("<a>")), WideString(WIDE("<a></b>")), WideString(WIDE("<r>&nope;</r>")),
                                 WideString(WIDE("<r/><r/>")), tooDeep}) {
    EXPECT_FALSE(PlainParseAccepts(text)) << ToUtf8(text);
    EXPECT_EQ(CXmlDoc(text).doc, nullptr) << ToUtf8(text);
  }
}

// A 64 KiB internal entity referenced `times` times, in content or attribute.
WideString Amplified(int times, const WideString& open, const WideString& close, bool spread = false) {
  WideString body;
  for (int i = 0; i < times; ++i) body += spread ? open + WIDE("&big;") + close : WIDE("&big;");
  if (!spread) body = open + body + close;
  return WIDE("<!DOCTYPE r [<!ENTITY big \"") + WideString(64 * 1024, WIDE('x')) + WIDE("\">]><r>") + body + WIDE("</r>");
}

TEST(XmlDocHardening, EntityExpansionBeyondOneMebibyteIsRefusedAtParse) {
  CXmlDoc exact(Amplified(16, WIDE("<v>"), WIDE("</v>")));
  ASSERT_NE(exact.doc, nullptr);
  ASSERT_EQ(exact.Select(WIDE("/r/v")), 0);
  EXPECT_EQ(exact.GetValue(0), WideString(1024 * 1024, WIDE('x')));
  const WideString refused[] = {
      Amplified(17, WIDE("<v>"), WIDE("</v>")),
      Amplified(17, WIDE("<v a=\""), WIDE("\"/>")),
      Amplified(17, WIDE("<v>"), WIDE("</v>"), true),
      Amplified(3000, WIDE("<v>"), WIDE("</v>")),
  };
  for (const WideString& text : refused) {
    ASSERT_TRUE(PlainParseAccepts(text)) << "the library alone would expand it later";
    CXmlDoc xml(text);
    EXPECT_EQ(xml.doc, nullptr);
    EXPECT_EQ(xml.Select(WIDE("/r/v")), -2);
    CXmlConfig config(text);
    WideString value = WIDE("preset");
    config.GetString(WIDE("/r/v/@a"), value);
    EXPECT_EQ(value, WIDE(""));
  }
}

// `times` references to an entity of `entityBytes` bytes, each in an element.
WideString Referenced(size_t entityBytes, int times) {
  WideString text = WIDE("<!DOCTYPE r [<!ENTITY e \"") + WideString(entityBytes, WIDE('x')) + WIDE("\">]><r>");
  for (int i = 0; i < times; ++i) text += WIDE("<v>&e;</v>");
  return text + WIDE("</r>");
}

TEST(XmlDocHardening, ExpansionIsBoundedByTheDocumentsOwnSize) {
  // 720 KB that add 1.5 times their size: an ordinary template.
  const WideString ordinary = Referenced(18, 60000);
  ASSERT_GT(ordinary.size(), 600000u);
  CXmlDoc xml(ordinary);
  ASSERT_NE(xml.doc, nullptr);
  ASSERT_EQ(xml.Select(WIDE("/r/v[60000]")), 0);
  EXPECT_EQ(xml.GetValue(0), WideString(18, WIDE('x')));
  // About 100 KB may add five times 100 KB plus 750 KiB: 1.2 MB, not 1.3.
  EXPECT_NE(CXmlDoc(Referenced(100000, 12)).doc, nullptr);
  EXPECT_EQ(CXmlDoc(Referenced(100000, 13)).doc, nullptr);
  // A quadratic blow-up and a billion laughs.
  EXPECT_EQ(CXmlDoc(Referenced(100000, 5000)).doc, nullptr);
  WideString laughs = WIDE("<!DOCTYPE r [<!ENTITY l0 \"lol\">");
  for (int i = 1; i < 10; ++i) {
    const WideString previous = WIDE("&l") + FromUtf8(std::to_string(i - 1)) + WIDE(";");
    laughs += WIDE("<!ENTITY l") + FromUtf8(std::to_string(i)) + WIDE(" \"");
    for (int k = 0; k < 10; ++k) laughs += previous;
    laughs += WIDE("\">");
  }
  EXPECT_EQ(CXmlDoc(laughs + WIDE("]><r>&l9;</r>")).doc, nullptr);
}

TEST(XmlDocHardening, ReadsOfEditedNodesAreBoundedToo) {
  CXmlDoc xml(Amplified(1, WIDE("<v>"), WIDE("</v>")));
  ASSERT_EQ(xml.Select(WIDE("/r/v")), 0);
  xmlNodePtr v = xml.nodeSet->nodeTab[0];
  WideString references;
  for (int i = 0; i < 16; ++i) references += WIDE("&big;");
  xml.SetNodeContent(references, v);
  EXPECT_EQ(xml.GetValue(0).size(), 1024u * 1024u);
  xml.SetNodeContent(references + WIDE("&big;"), v);
  EXPECT_EQ(xml.GetValue(0), WIDE(""));
  EXPECT_EQ(xml.DumpNode().size(), 17 * 5 + 7u);
}

}  // namespace
