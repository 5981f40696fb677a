// Templates in the encodings their authors save them in: valid UTF-8 exactly
// as before, other declared encodings read as declared, bytes that fit
// nothing replaced by U+FFFD. The service call is stubbed, so the payload and
// the progress report are seen exactly as they would be sent.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/text_conversion.h"
#include "tests/plugin/part_command.h"
#include "tests/common/test_support.h"

namespace {

class TemplateEncoding : public PartCommand {
 protected:
  // Handles the command with `bytes` as a "binary" part; answers the payload
  // the local service got ("-" for none) and the progress reported.
  std::pair<WideString, std::string> Deliver(const std::string& bytes) {
    Handle(bytes.data(), bytes.size(), SOAP_MIME_BINARY);
    WideString payload = WIDE("-");
    std::string progress = "none";
    for (const StubbedCall& call : g_calls) {
      const size_t at = call.payload.find("<Progress>");
      if (call.endpoint == "http://127.0.0.1:8000") {
        payload = call.units;
      } else if (at != std::string::npos) {
        progress = call.payload.substr(at + 10, call.payload.find('<', at + 10) - at - 10);
      }
    }
    return {payload, progress};
  }
};

std::string Fnv(const WideString& text) {
  uint64_t h = 1469598103934665603ull;
  for (WideChar unit : text) {
    for (int shift : {0, 8}) {
      h ^= (static_cast<uint16_t>(unit) >> shift) & 0xFF;
      h *= 1099511628211ull;
    }
  }
  std::ostringstream out;
  out << std::hex << h;
  return out.str();
}

bool ValidUtf8(const std::string& bytes) {
  const std::string text = bytes.substr(0, bytes.find('\0'));
  return ToUtf8(FromUtf8(text)) == text;
}

// The templates of the repository, each also with a UTF-8 byte-order mark and
// with the declarations an editor writes, where they stay valid UTF-8.
std::vector<std::pair<std::string, std::string>> Corpus() {
  namespace fs = std::filesystem;
  const fs::path source = testing_support::SourceDir();
  std::vector<std::pair<std::string, std::string>> files;
  auto add = [&](const fs::path& dir, size_t skip) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(source / dir)) {
      if (entry.is_regular_file()) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
      std::string bytes = testing_support::ReadFile(path.string());
      if (bytes.size() < skip || path.extension() == ".md") continue;
      files.emplace_back((dir / path.filename()).generic_string(), bytes.substr(skip));
    }
  };
  add("examples", 0);
  add("fuzz/corpus/reshape_fuzzer", 0);
  add("fuzz/corpus/attachment_fuzzer", 1);  // after the encoding byte
  add("fuzz/corpus/xml_fuzzer", 0);
  files.emplace_back("mixed", "<Root><A ns=\"CSC\" v=\"caf\xC3\xA9 \xE2\x82\xAC\">na\xC3\xAFve "
                              "\xF0\x9D\x84\x9E &amp; &#x41;</A><B/>\r\n</Root>");
  files.emplace_back("plain-mixed", "<Root OS=\"x\"><A v=\"\xC3\xA9\">\xC3\xA9\xE2\x82\xAC</A></Root>");
  files.emplace_back("entity", "<!DOCTYPE Root [<!ENTITY e \"caf\xC3\xA9\">]><Root a=\"&e;\">"
                               "<A ns=\"CSC\">&e;<![CDATA[<\xC3\xA9>]]><?pi \xC3\xA9?><!--\xC3\xA9--></A></Root>");
  std::vector<std::pair<std::string, std::string>> corpus;
  for (const auto& file : files) {
    const std::string& bytes = file.second;
    std::vector<std::pair<std::string, std::string>> variants = {
        {"", bytes}, {"+bom", "\xEF\xBB\xBF" + bytes}};
    if (bytes.compare(0, 5, "<?xml") != 0) {
      variants.push_back({"+utf8", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + bytes});
      variants.push_back({"+latin1", "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?>" + bytes});
      variants.push_back({"+bare", "<?xml version=\"1.0\"?>" + bytes});
    }
    for (const auto& variant : variants) {
      if (ValidUtf8(variant.second)) corpus.emplace_back(file.first + variant.first, variant.second);
    }
  }
  return corpus;
}

TEST_F(TemplateEncoding, ValidUtf8TemplatesGiveTheSamePayloadsAsBefore) {
  // Payload hashes recorded with the plug-in as it was before other encodings
  // were read: UTF-16 units of the payload, low byte first, FNV-1a.
  std::map<std::string, std::string> expected;
  std::istringstream recorded(testing_support::ReadFile(
      testing_support::SourceDir() + "/tests/plugin/data/utf8_payloads.txt"));
  std::string line;
  while (std::getline(recorded, line)) {
    const size_t space = line.find(' ');
    if (space != std::string::npos) expected[line.substr(0, space)] = line.substr(space + 1);
  }
  std::string actual;
  const auto corpus = Corpus();
  ASSERT_GT(corpus.size(), 40u);
  const std::string log = platform::NativePath("C:\\runtime.log");
  for (const auto& entry : corpus) {
    const size_t logged = testing_support::ReadFile(log).size();
    const auto delivered = Deliver(entry.second);
    // The template's line holds its text up to the first zero byte, as UTF-8:
    // the very bytes.
    const std::string xIn = "INFO:-----xIn:" + entry.second.substr(0, entry.second.find('\0')) + "\r\n";
    EXPECT_NE(testing_support::ReadFile(log).find(xIn, logged), std::string::npos) << entry.first;
    const std::string value = Fnv(delivered.first) + " " + delivered.second;
    actual += entry.first + " " + value + "\n";
    const auto it = expected.find(entry.first);
    EXPECT_TRUE(it != expected.end() && it->second == value) << entry.first << " " << value;
  }
  EXPECT_EQ(expected.size(), corpus.size()) << actual;
}

}  // namespace

namespace {

std::string Utf16(const std::u16string& text, bool littleEndian) {
  std::string bytes;
  for (char16_t unit : text) {
    const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
    bytes += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
  }
  return bytes;
}

WideString Wide(const std::u16string& text) { return WideString(text.begin(), text.end()); }

// The value of A's attribute v when the payload is stored as the UTF-8 it
// arrives in and parsed as a file, declaration and all.
std::string StoredValue(const std::string& payload) {
  xmlDocPtr doc = xmlReadMemory(payload.data(), static_cast<int>(payload.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR);
  if (doc == nullptr) return "(does not parse)";
  xmlNodePtr root = xmlDocGetRootElement(doc);
  xmlNodePtr a = root != nullptr ? xmlFirstElementChild(root) : nullptr;
  xmlChar* v = a != nullptr ? xmlGetProp(a, reinterpret_cast<const xmlChar*>("v")) : nullptr;
  const std::string value = v != nullptr ? reinterpret_cast<const char*>(v) : "(no v)";
  xmlFree(v);
  xmlFreeDoc(doc);
  return value;
}

TEST_F(TemplateEncoding, EachEncodingDeliversTheAuthorsCharacters) {
  const WideString reshaped = Wide(u"<Root Template=\"true\" OS=\"All\"><A v=\"caf\u00e9\">");
  // A converted template declares the encoding it is carried in.
  const WideString kUtf8Declaration = Wide(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  struct Case {
    const char* name;
    std::string bytes;
    WideString payload;
  };
  const std::u16string utf16Body = u"<Root><A v=\"caf\u00e9\">\u20ac \U0001D11E \u4e2d</A></Root>";
  const Case cases[] = {
      // Without a declared encoding the library writes character references.
      {"UTF-16LE", Utf16(u"\ufeff" + utf16Body, true),
       Wide(u"<?xml version=\"1.0\"?>\n<Root Template=\"true\" OS=\"All\"><A v=\"caf&#xE9;\">") +
           Wide(u"&#x20AC; &#x1D11E; &#x4E2D;</A></Root>\n")},
      {"UTF-16BE", Utf16(u"\ufeff<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + utf16Body, false),
       kUtf8Declaration + reshaped +
           Wide(u"\u20ac \U0001D11E \u4e2d</A></Root>\n")},
      {"UTF-16LE without a byte-order mark",
       Utf16(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>" + utf16Body, true),
       kUtf8Declaration + reshaped +
           Wide(u"\u20ac \U0001D11E \u4e2d</A></Root>\n")},
      {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root><A v=\"caf\xE9\">na\xEFve \xFF</A></Root>",
       kUtf8Declaration + reshaped +
           Wide(u"na\u00efve \u00ff</A></Root>\n")},
      {"latin1 alias, standalone",
       "<?xml version='1.0' encoding='latin1' standalone='yes'?><Root><A v=\"caf\xE9\"/></Root>",
       Wide(u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n") +
           Wide(u"<Root Template=\"true\" OS=\"All\"><A v=\"caf\u00e9\"/></Root>\n")},
      {"windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Root><A v=\"caf\xE9\">\x80 \x93q\x94 \x81</A></Root>",
       kUtf8Declaration + reshaped +
           Wide(u"\u20ac \u201cq\u201d \ufffd</A></Root>\n")},
      {"US-ASCII", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><Root><A v=\"caf\xE9\xA9\"/></Root>",
       kUtf8Declaration +
           Wide(u"<Root Template=\"true\" OS=\"All\"><A v=\"caf\ufffd\ufffd\"/></Root>\n")},
  };
  for (const Case& c : cases) {
    const auto delivered = Deliver(c.bytes);
    EXPECT_EQ(ToUtf8(delivered.first), ToUtf8(c.payload)) << c.name;
    EXPECT_EQ(delivered.first, c.payload) << c.name;  // the very units, surrogate pairs included
    EXPECT_EQ(delivered.second, "100") << c.name;
    EXPECT_EQ(host_.results, std::vector<int32_t>{17}) << c.name;
    const bool undefinedBytes = std::string(c.name) == "US-ASCII";
    EXPECT_EQ(StoredValue(ToUtf8(delivered.first)), undefinedBytes ? "caf\xEF\xBF\xBD\xEF\xBF\xBD" : "caf\xC3\xA9")
        << c.name;
  }
}

TEST_F(TemplateEncoding, BytesThatFitNoEncodingBecomeReplacementCharacters) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;  // of A, as UTF-8; character references where nothing is declared
  };
  const Case cases[] = {
      {"no declaration", "<Root><A>caf\xE9 \xC3 \xF0\x9F</A></Root>", "caf&#xFFFD; &#xFFFD; &#xFFFD;"},
      {"an encoding not read here", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><Root><A>\xE9</A></Root>",
       "\xEF\xBF\xBD"},
      {"UTF-8 byte-order mark over a Latin-1 declaration",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root><A>\xE9</A></Root>", "\xEF\xBF\xBD"},
      {"unpaired surrogates in UTF-16",
       Utf16(u"\ufeff<Root><A>", true) + std::string("\x00\xD8x\x00\x00\xDC", 6) + Utf16(u"</A></Root>", true),
       "&#xFFFD;x&#xFFFD;"},
      {"UTF-8 up to a zero byte", std::string("<Root><A>\xC3\xA9</A></Root>\0\xFF", 24), "&#xE9;"},
  };
  for (const Case& c : cases) {
    const auto delivered = Deliver(c.bytes);
    const std::string payload = ToUtf8(delivered.first);
    EXPECT_NE(payload.find("<A>" + c.text + "</A>"), std::string::npos) << c.name << ": " << payload;
    EXPECT_EQ(delivered.second, "100") << c.name;
  }
}

}  // namespace
