// quorvil-template against the command itself: for every template of the
// project, in each transfer encoding, `show` prints the very xIn the local
// service receives when the template goes through the agent stand-in and the
// plug-in, and `check` refuses exactly what the command reports to the server
// as progress -2;
// hostile files get an answer and an exit status; nothing is logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "hosts/agent/compose.h"
#include "tests/common/devconf_peer.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::AgentPath;
using testing_support::BuildDir;
using testing_support::DevconfPeer;
using testing_support::ReadFile;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Tool() { return BuildDir() + "/hosts/template/quorvil-template"; }

// Output with LF line ends: standard error is text-mode on Windows.
testing_support::ProcessResult RunProgram(const std::vector<std::string>& argv,
                                   const std::map<std::string, std::string>& env = {}) {
  testing_support::ProcessResult r = testing_support::RunProcess(argv, env);
  r.err = testing_support::ProgramText(r.err);
  return r;
}

// What compose would send: the template, its schedule identifier and the
// server's endpoint, the template part in `encoding`. A part whose bytes are
// to reach the plug-in as they are, under another encoding's name, is
// composed as 8bit and relabelled.
std::string Request(const std::string& bytes, const std::string& encoding, bool relabel,
                    const std::string& endpoint) {
  ComposeOptions options;
  options.templateBytes = bytes;
  options.encoding = relabel ? "8bit" : encoding;
  options.haveScheduleId = true;
  options.scheduleId = "42";
  options.haveEndpoint = true;
  options.endpoint = endpoint;
  std::string request, error;
  EXPECT_TRUE(ComposeRequest(options, &request, &error)) << error;
  if (!relabel || encoding == "8bit") return request;
  const std::string from = "Content-Transfer-Encoding: 8bit\r\nContent-ID: <template>";
  const std::string to = (encoding == "none" ? "" : "Content-Transfer-Encoding: " + encoding + "\r\n") +
                         "Content-ID: <template>";
  const size_t at = request.find(from);
  EXPECT_NE(at, std::string::npos);
  if (at == std::string::npos) return request;
  request.replace(at, from.size(), to);
  return testing_support::MendContentLength(request);
}

// The template part's content exactly as it goes on the wire, and its
// transfer encoding ("none" when the part names none); false without one.
bool TemplatePart(const std::string& request, std::string* content, std::string* encoding = nullptr) {
  const size_t id = request.find("Content-ID: <template");
  const size_t head = request.rfind("\r\n--", id);
  if (id == std::string::npos || head == std::string::npos) return false;
  const size_t from = request.find("\r\n\r\n", id) + 4;
  *content = request.substr(from, request.rfind("\r\n--") - from);
  if (encoding == nullptr) return true;
  const std::string key = "\r\nContent-Transfer-Encoding: ";
  const size_t at = request.substr(head, from - head).find(key);
  const size_t value = head + at + key.size();
  *encoding = at == std::string::npos ? "none" : request.substr(value, request.find('\r', value) - value);
  return true;
}

std::string Utf16(const std::u16string& text, bool littleEndian) {
  std::string bytes;
  for (char16_t unit : text) {
    const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
    bytes += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
  }
  return bytes;
}

// An entity of `size` bytes referenced `times` times.
std::string EntityTemplate(size_t size, size_t times) {
  std::string text = "<!DOCTYPE Root [<!ENTITY e \"" + std::string(size, 'e') + "\">]><Root><A>";
  for (size_t i = 0; i < times; ++i) text += "&e;";
  return text + "</A></Root>";
}

std::string BillionLaughs() {
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE Root [\n<!ENTITY l0 \"ha\">\n";
  for (int i = 1; i <= 9; ++i) {
    text += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) text += "&l" + std::to_string(i - 1) + ";";
    text += "\">\n";
  }
  return text + "]>\n<Root><A>&l9;</A></Root>\n";
}

struct Template {
  std::string name;
  std::string bytes;
};

// The files of a source folder, in name order.
std::vector<std::filesystem::path> SortedFiles(const char* dir) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(SourceDir()) / dir)) {
    paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The templates of the project, and the test data of the encoding and
// hardening suites.
std::vector<Template> Templates() {
  namespace fs = std::filesystem;
  std::vector<Template> templates;
  for (const char* dir : {"examples", "fuzz/corpus/reshape_fuzzer", "fuzz/corpus/xml_fuzzer"}) {
    for (const fs::path& path : SortedFiles(dir)) {
      if (path.extension() == ".md") continue;
      templates.push_back({std::string(dir) + "/" + path.filename().string(), ReadFile(path.string())});
    }
  }
  const std::vector<Template> data = {
      {"mixed", "<Root><A ns=\"CSC\" v=\"caf\xC3\xA9 \xE2\x82\xAC\">na\xC3\xAFve \xF0\x9D\x84\x9E &amp; "
                "&#x41;</A><B/>\r\n</Root>"},
      {"entity", "<!DOCTYPE Root [<!ENTITY e \"caf\xC3\xA9\">]><Root a=\"&e;\"><A ns=\"CSC\">&e;"
                 "<![CDATA[<\xC3\xA9>]]><?pi \xC3\xA9?><!--\xC3\xA9--></A></Root>"},
      {"utf-16le", Utf16(u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Root><A ns=\"CSC\" "
                         u"v=\"caf\u00E9 \U0001D11E\"/></Root>", true)},
      {"utf-16le-unpaired", Utf16(u"\uFEFF<Root><A>x\xD800y</A></Root>", true) + "z"},
      {"windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Root><A ns=\"CSC\">"
                       "\x80 \x81 caf\xE9 \x8D</A></Root>"},
      {"us-ascii", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><Root><A>\xE9</A></Root>"},
      {"ill-formed-utf-8", "<Root><A>\xFF ok \xC3</A></Root>"},
      {"zero-byte", std::string("<Root><A/></Root>\0 and more", 27)},
      {"namespaced-root", "<Root xmlns=\"urn:x\"><A ns=\"CSC\"/></Root>"},
      {"mismatched", "<Root>\n  <A>x</B>\n</Root>"},
      {"not-xml", "this is not XML at all"},
      {"comment-text-and-children", "<Root><!--c--><A ns=\"CSC\" x=\"1\"><i/></A>text<B ns=\"other\"/></Root>"},
      {"relative-namespace", "<Root xmlns:q=\"relative\"><A ns=\"CSC\"/></Root>"},
      {"utf-8-bom", "\xEF\xBB\xBF<Root><A ns=\"CSC\">caf\xC3\xA9</A></Root>"},
      {"utf-8-declaring-latin-1",
       "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?><Root><A>caf\xC3\xA9</A></Root>"},
      {"utf-8-bom-over-latin-1", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root><A>\xE9</A></Root>"},
      {"utf-16be",
       Utf16(u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><Root><A v=\"caf\u00E9\">\u20AC</A></Root>", false)},
      {"utf-16le-without-bom", Utf16(u"<?xml version=\"1.0\" encoding=\"utf-16\"?><Root><A>\u4E2D</A></Root>", true)},
      {"iso-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root><A v=\"caf\xE9\">na\xEFve \xFF</A></Root>"},
      {"latin1-alias", "<?xml version='1.0' encoding='latin1'?><Root><A v=\"caf\xE9\"/></Root>"},
      {"koi8-r", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><Root><A>\xE9</A></Root>"},
      {"billion-laughs", BillionLaughs()},
      {"entity-over-the-limit", EntityTemplate(100 * 1024, 60)},
      {"entity-within-the-limit", EntityTemplate(18, 2000)},
  };
  templates.insert(templates.end(), data.begin(), data.end());
  return templates;
}

class TemplateTool : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.path() + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  TempDir dir_;
};

TEST_F(TemplateTool, ShowPrintsWhatTheLocalServiceReceivesAndCheckRefusesWhatTheCommandReportsAsMinusTwo) {
  ASSERT_TRUE(testing_support::LocalServicePortIsFree());
  DevconfPeer local(8000, {"--r", "7"});
  DevconfPeer server(0);
  ASSERT_TRUE(local.running() && server.running());
  const std::map<std::string, std::string> env = {{"QUORVIL_ROOT", dir_.path() + "/root"}};

  struct Case {
    std::string name, bytes, encoding;
    bool relabel;
  };
  std::vector<Case> cases;
  for (const Template& t : Templates()) {
    for (const char* encoding : {"8bit", "base64", "quoted-printable"}) {
      cases.push_back({t.name, t.bytes, encoding, false});
    }
  }
  // The attachment fuzzer's seeds are parts: an encoding byte, then the
  // part's bytes as the plug-in gets them.
  const char* const names[] = {"none", "7bit", "8bit", "binary", "quoted-printable", "base64"};
  namespace fs = std::filesystem;
  for (const char* dir : {"fuzz/corpus/attachment_fuzzer", "fuzz/corpus/template_check_fuzzer"}) {
    for (const fs::path& path : SortedFiles(dir)) {
      const std::string seed = ReadFile(path.string());
      if (seed.empty() || static_cast<unsigned char>(seed[0]) % 8 >= 6) continue;
      cases.push_back({std::string(dir) + "/" + path.filename().string(), seed.substr(1),
                       names[static_cast<unsigned char>(seed[0]) % 8], true});
    }
  }
  // The agent fuzzer's requests: their template parts as compose and another
  // MIME writer made them.
  for (const fs::path& path : SortedFiles("fuzz/corpus/agent_request_fuzzer")) {
    std::string bytes, encoding;
    if (TemplatePart(ReadFile(path.string()), &bytes, &encoding)) {
      cases.push_back({"fuzz/corpus/agent_request_fuzzer/" + path.filename().string(), bytes, encoding, true});
    }
  }
  ASSERT_GT(cases.size(), 100u);

  size_t delivered = 0, refused = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " as " + c.encoding);
    const std::string request = Request(c.bytes, c.encoding, c.relabel, server.url("/status"));
    std::string content;
    ASSERT_TRUE(TemplatePart(request, &content));
    const std::string part = File("part", content);
    const size_t before = local.Requests().size(), reported = server.Requests().size();
    const auto run = testing_support::RunProcess(
        {AgentPath(), "--plugin", testing_support::PluginPath(), "run", "-"}, env, request);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The plug-in may print the proxy's messages before it.
    const std::string out = testing_support::ProgramText(run.out);
    const size_t at = out.find("result: ");
    const std::string result = at == std::string::npos ? out : out.substr(at);
    const auto requests = local.Requests();
    // What the server was told of the task.
    const auto reports = server.Requests();
    ASSERT_EQ(reports.size(), reported + 1);
    const std::string& status = reports.back().xIn;
    const size_t from = status.find("<Progress>") + 10;
    const std::string progress = status.substr(from, status.find('<', from) - from);

    const auto show = RunProgram({Tool(), "show", "--encoding", c.encoding, part});
    const auto check = RunProgram({Tool(), "check", "--encoding", c.encoding, part});
    const std::string line = testing_support::ProgramText(check.out);
    if (progress == "-2") {
      ++refused;
      EXPECT_EQ(result, "result: -2\n");
      EXPECT_EQ(requests.size(), before);
      EXPECT_EQ(check.exitCode, 1) << line;
      EXPECT_EQ(line.rfind(part + ": refused: ", 0), 0u) << line;
      EXPECT_EQ(show.exitCode, 1);
      EXPECT_EQ(show.out, "");
      EXPECT_EQ(show.err, "quorvil-template: " + line);
    } else {
      ++delivered;
      EXPECT_EQ(progress, "100");
      EXPECT_EQ(result, "result: 7\n");
      ASSERT_EQ(requests.size(), before + 1);
      EXPECT_EQ(check.exitCode, 0) << line;
      EXPECT_EQ(line.rfind(part + ": delivered; ", 0), 0u) << line;
      EXPECT_EQ(show.exitCode, 0) << show.err;
      EXPECT_EQ(show.out, requests.back().xIn);
      EXPECT_NE(line.find(", payload " + std::to_string(show.out.size()) + " bytes\n"), std::string::npos)
          << line;
    }
  }
  // Both verdicts are met, in every encoding.
  EXPECT_GT(delivered, 40u);
  EXPECT_GT(refused, 20u);
}

TEST_F(TemplateTool, HostileFilesGetAClearAnswerAndAnExitStatus) {
  const std::string bomb = File("bomb.xml", BillionLaughs());
  const std::string heavy = File("heavy.xml", EntityTemplate(100 * 1024, 60));
  const std::string notXml = File("notes.txt", "this is not XML at all");
  const std::string longValue = File("long.xml", "<Root><A v=\"" + std::string(10000001, 'v') + "\"/></Root>");
  // 100 MB of template, made here.
  std::string large = "<Root><A>";
  large.append(100 * 1024 * 1024, 'x');
  large += "</A></Root>";
  const std::string big = File("big.xml", large);
  large.clear();
  large.shrink_to_fit();
  const std::string folder = dir_.path() + "/folder";
  std::filesystem::create_directory(folder);
  const std::string missing = dir_.path() + "/missing.xml";

  testing_support::Deadline deadline("quorvil-template on hostile files", 120);
  const auto r = RunProgram({Tool(), "check", bomb, heavy, notXml, longValue, big, folder, missing});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string out = testing_support::ProgramText(r.out);
  const std::string expected =
      bomb + ": refused: libxml2 refused to expand its entities: Detected an entity reference loop; read as "
             "UTF-8; 589 bytes, no payload\n" +
      heavy + ": refused: its entity references would add more than 1281160 bytes (5 times its 102632 "
              "bytes of UTF-8 plus 750 KiB); read as UTF-8; 102632 bytes, no payload\n" +
      notXml + ": refused: not well-formed XML at line 1, column 1: Start tag expected, '<' not found; "
               "read as UTF-8; 22 bytes, no payload\n" +
      longValue + ": refused: an attribute value is longer than libxml2's limit of 10000000 bytes, at "
                  "line 1, column 12; read as UTF-8; 10000023 bytes, no payload\n";
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  // The large one may be more than a 32-bit process can hold: an answer
  // either way, never a crash.
  const std::string rest = out.substr(std::min(out.size(), expected.size()));
  const bool bigDelivered = rest.rfind(big + ": delivered; read as UTF-8; not a CSC template; 104857620 bytes, "
                                             "payload 104857668 bytes\n", 0) == 0;
  const bool bigRefused = rest.rfind(big + ": refused: ", 0) == 0;
  EXPECT_TRUE(bigDelivered || bigRefused) << rest.substr(0, 300);
  EXPECT_NE(rest.find("\n" + folder + ": cannot be read: it is a folder\n" + missing +
                      ": cannot be read: no such file\n"),
            std::string::npos)
      << rest.substr(0, 300);

  const auto shown = RunProgram({Tool(), "show", folder});
  EXPECT_EQ(shown.exitCode, 1);
  EXPECT_EQ(shown.out, "");
  EXPECT_EQ(shown.err, "quorvil-template: " + folder + ": cannot be read: it is a folder\n");
}

TEST_F(TemplateTool, CheckGivesOneLineOrOneJsonObjectPerFileAndExitsZeroOnlyWhenAllAreDelivered) {
  const std::string csc = SourceDir() + "/examples/csc-template.xml";
  const std::string plain = SourceDir() + "/examples/plain-template.xml";
  const std::string noRoot = SourceDir() + "/examples/no-root-template.xml";
  auto r = RunProgram({Tool(), "check", csc, plain});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(testing_support::ProgramText(r.out),
            csc + ": delivered; read as UTF-8; CSC template, wrapped in CSCTemplateConfig; 405 bytes, "
                  "payload 494 bytes\n" +
                plain + ": delivered; read as UTF-8; not a CSC template; 137 bytes, payload 154 bytes\n");

  // A Windows path's separators, escaped.
  const auto json = [](std::string path) {
    for (size_t at = 0; (at = path.find('\\', at)) != std::string::npos; at += 2) path.insert(at, 1, '\\');
    return path;
  };
  const std::string latin = File("latin.xml",
                                 "<?xml version=\"1.0\" encoding=\"windows-1252\"?><Root><A>\x80\x81</A></Root>");
  r = RunProgram({Tool(), "check", "--json", noRoot, latin});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(testing_support::ProgramText(r.out),
            "{\"file\":\"" + json(noRoot) +
                "\",\"verdict\":\"refused\",\"reason\":\"no-root\",\"why\":\"its document element is Config, "
                "not Root\",\"transfer_encoding\":\"8bit\",\"size\":93,\"decoded_size\":93,\"encoding\":\"UTF-8\","
                "\"declared_encoding\":\"UTF-8\",\"bytes_read\":93,\"replaced\":0,\"replaced_at\":[],"
                "\"document_element\":\"Config\",\"document_namespace\":null,\"csc\":null,\"payload_size\":null,"
                "\"xml_error\":null}\n"
                "{\"file\":\"" + json(latin) +
                "\",\"verdict\":\"delivered\",\"reason\":null,\"why\":null,\"transfer_encoding\":\"8bit\","
                "\"size\":67,\"decoded_size\":67,\"encoding\":\"windows-1252\",\"declared_encoding\":"
                "\"windows-1252\",\"bytes_read\":67,\"replaced\":1,\"replaced_at\":[55],\"document_element\":"
                "\"Root\",\"document_namespace\":null,\"csc\":false,\"payload_size\":91,\"xml_error\":null}\n");

  r = RunProgram({Tool(), "check", latin});
  EXPECT_EQ(testing_support::ProgramText(r.out),
            latin + ": delivered; read as windows-1252, 1 sequence not valid in windows-1252 replaced by "
                    "U+FFFD at byte 55; not a CSC template; 67 bytes, payload 91 bytes\n");

  // A name as a desktop gives it, beyond the system's code page.
  const std::string named = File("B\xC3\xBCro \xE2\x82\xAC \xE4\xB8\xAD.xml", ReadFile(plain));
  r = RunProgram({Tool(), "check", named});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(testing_support::ProgramText(r.out),
            named + ": delivered; read as UTF-8; not a CSC template; 137 bytes, payload 154 bytes\n");
}

TEST_F(TemplateTool, UsageErrorsExitTwoAndHelpAndVersionAnswer) {
  const std::string csc = SourceDir() + "/examples/csc-template.xml";
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"verify", csc},
                                             {"check"},
                                             {"show"},
                                             {"show", csc, csc},
                                             {"show", "--json", csc},
                                             {"check", "--encoding", "uuencode", csc},
                                             {"check", "--encoding"},
                                             {"check", "--frobnicate", csc}}) {
    std::vector<std::string> argv = {Tool()};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = RunProgram(argv);
    EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
    EXPECT_EQ(r.out, "") << testing::PrintToString(args);
    EXPECT_FALSE(r.err.empty());
  }
  auto r = RunProgram({Tool(), "check", "--encoding", "uuencode", csc});
  EXPECT_EQ(r.err,
            "quorvil-template: unknown encoding uuencode (8bit, base64, quoted-printable, none, 7bit, binary) "
            "(try --help)\n");
  r = RunProgram({Tool(), "--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(testing_support::ProgramText(r.out).rfind("quorvil-template ", 0), 0u);
  for (const char* help : {"--help", "-h"}) {
    r = RunProgram({Tool(), help});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(testing_support::ProgramText(r.out).rfind("usage: quorvil-template check [--json]", 0), 0u);
  }
  r = RunProgram({Tool(), "show", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("Exit status: 0 every file would be delivered"), std::string::npos);
}

TEST_F(TemplateTool, NeedsNoMachineRootAndWritesNoLog) {
  // The plug-in's log where the command would write it: this test's own
  // machine root here, the machine's C:\runtime.log on Windows.
  const std::string root = dir_.path() + "/root";
  std::filesystem::create_directory(root);
  const std::string log = testing_support::PluginLogPath(root);
  const size_t logged = ReadFile(log).size();
  const std::string csc = SourceDir() + "/examples/csc-template.xml";
  const std::map<std::string, std::string> env = {{"QUORVIL_ROOT", root}};
  EXPECT_EQ(RunProgram({Tool(), "check", csc}, env).exitCode, 0);
  EXPECT_EQ(RunProgram({Tool(), "show", csc}, env).exitCode, 0);
  EXPECT_EQ(RunProgram({Tool(), "check", SourceDir() + "/examples/no-root-template.xml"}, env).exitCode, 1);
  EXPECT_EQ(ReadFile(log).size(), logged);
  EXPECT_TRUE(std::filesystem::is_empty(root));
  // A machine root that cannot be had does not matter either.
  const auto r = RunProgram({Tool(), "check", csc}, {{"QUORVIL_ROOT", dir_.path() + "/missing/root"}});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(testing_support::FileExists(dir_.path() + "/missing"));
}

}  // namespace
