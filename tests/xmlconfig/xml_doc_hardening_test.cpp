// CXmlDoc against untrusted text and libxml2 defaults changed by the host.
#include <gtest/gtest.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <string>
#include <vector>

#include "platform/utf.h"
#include "support/text_conversion.h"
#include "xmlconfig/xml_config.h"
#include "xmlconfig/xml_doc.h"

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
      u"<!DOCTYPE r [<!ENTITY ext SYSTEM \"file:///etc/hostname\">]><r a=\"1\">a&ext;b</r>";
  ASSERT_TRUE(PlainParseAccepts(external));
  ASSERT_GT(loads, 0) << "the hostile defaults make a plain parse load entities";
  loads = 0;
  const WideString documents[] = {
      external,
      u"<!DOCTYPE r SYSTEM \"file:///nonexistent/r.dtd\"><r a=\"1\">ab</r>",
      u"<!DOCTYPE r [<!ENTITY % p SYSTEM \"file:///nonexistent/p.ent\"> %p;]><r a=\"1\">ab</r>",
  };
  for (const WideString& text : documents) {
    CXmlDoc xml(text);
    ASSERT_NE(xml.doc, nullptr) << ToUtf8(text);
    ASSERT_EQ(xml.Select(u"/r"), 0);
    EXPECT_EQ(xml.GetValue(0), u"ab");
    EXPECT_EQ(xml.GetAttribute(u"a"), u"1");
    EXPECT_EQ(xml.Dump().find(u"SECRET"), WideString::npos);
    CXmlConfig config(text);
    EXPECT_EQ(config.SetString(u"/r/x", u"&ext;"), E_NOTIMPL);
    WideString value;
    config.GetString(u"/r/x", value);
    EXPECT_EQ(value, u"");
  }
  EXPECT_EQ(loads, 0);
}

std::vector<WideString> OrdinaryDocuments() {
  std::vector<WideString> documents = {
      u"<r>\n  <a> x </a>\n\t<b/>\n</r>\n",
      u"<?xml version=\"1.0\"?>\n<r><![CDATA[<not> & markup]]>tail</r>",
      u"<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n<!-- lead -->\n<r><?t some data?><!--in--></r>\n<!--x-->",
      u"<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:a p:k=\"v\"/><b xmlns=\"\"/></r>",
      u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\u00e9\">caf\u00e9</r>",
      u"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\u20ac</r>",
      u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>bom</r>",
      u"\uFEFF<r/>",
      u"<!DOCTYPE r [\n<!ATTLIST r a CDATA \"d\" b ID #IMPLIED>\n]>\n<r b=\"x\"/>",
      u"<!DOCTYPE r [<!ENTITY co \"Korvane &amp; Co\">]><r t=\"&co;\">&co; &#233;&#x10348;</r>",
      u"<?xml version=\"1.0\" standalone=\"yes\"?><r><e/><e></e><q a='&quot;&apos;&lt;'/></r>",
      u"<!DOCTYPE r SYSTEM \"r.dtd\"><r/>",
  };
  WideString deep;
  for (int i = 0; i < 200; ++i) deep += u"<d>";
  deep += u"leaf";
  for (int i = 0; i < 200; ++i) deep += u"</d>";
  documents.push_back(deep);
  return documents;
}

void ExpectSameAsPlainParse(const std::vector<WideString>& documents,
                            const std::vector<std::string>& expected) {
  for (size_t i = 0; i < documents.size(); ++i) {
    CXmlDoc xml(documents[i]);
    ASSERT_NE(xml.doc, nullptr) << ToUtf8(documents[i]);
    EXPECT_EQ(DumpBytes(xml.doc), expected[i]) << ToUtf8(documents[i]);
    EXPECT_EQ(xml.Dump(), platform::Utf8ToUtf16(expected[i].data(), expected[i].size()));
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
  for (int i = 0; i < 300; ++i) tooDeep += u"<d>";
  for (int i = 0; i < 300; ++i) tooDeep += u"</d>";
  for (const WideString& text : {WideString(u"<a>"), WideString(u"<a></b>"), WideString(u"<r>&nope;</r>"),
                                 WideString(u"<r/><r/>"), tooDeep,
                                 WideString(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>")}) {
    EXPECT_FALSE(PlainParseAccepts(text)) << ToUtf8(text);
    EXPECT_EQ(CXmlDoc(text).doc, nullptr) << ToUtf8(text);
  }
}

// A 64 KiB internal entity referenced `times` times, in content or attribute.
WideString Amplified(int times, const WideString& open, const WideString& close, bool spread = false) {
  WideString body;
  for (int i = 0; i < times; ++i) body += spread ? open + u"&big;" + close : u"&big;";
  if (!spread) body = open + body + close;
  return u"<!DOCTYPE r [<!ENTITY big \"" + WideString(64 * 1024, u'x') + u"\">]><r>" + body + u"</r>";
}

TEST(XmlDocHardening, EntityExpansionBeyondOneMebibyteIsRefusedAtParse) {
  CXmlDoc exact(Amplified(16, u"<v>", u"</v>"));
  ASSERT_NE(exact.doc, nullptr);
  ASSERT_EQ(exact.Select(u"/r/v"), 0);
  EXPECT_EQ(exact.GetValue(0), WideString(1024 * 1024, u'x'));
  const WideString refused[] = {
      Amplified(17, u"<v>", u"</v>"),
      Amplified(17, u"<v a=\"", u"\"/>"),
      Amplified(17, u"<v>", u"</v>", true),
      Amplified(3000, u"<v>", u"</v>"),
  };
  for (const WideString& text : refused) {
    ASSERT_TRUE(PlainParseAccepts(text)) << "the library alone would expand it later";
    CXmlDoc xml(text);
    EXPECT_EQ(xml.doc, nullptr);
    EXPECT_EQ(xml.Select(u"/r/v"), -2);
    CXmlConfig config(text);
    WideString value = u"preset";
    config.GetString(u"/r/v/@a", value);
    EXPECT_EQ(value, u"");
  }
}

TEST(XmlDocHardening, ReadsOfEditedNodesAreBoundedToo) {
  CXmlDoc xml(Amplified(1, u"<v>", u"</v>"));
  ASSERT_EQ(xml.Select(u"/r/v"), 0);
  xmlNodePtr v = xml.nodeSet->nodeTab[0];
  WideString references;
  for (int i = 0; i < 16; ++i) references += u"&big;";
  xml.SetNodeContent(references, v);
  EXPECT_EQ(xml.GetValue(0).size(), 1024u * 1024u);
  xml.SetNodeContent(references + u"&big;", v);
  EXPECT_EQ(xml.GetValue(0), u"");
  EXPECT_EQ(xml.DumpNode().size(), 17 * 5 + 7u);
}

}  // namespace
