// devconf-service as the peer of CallSet: its answers, its request log and
// its clean stop.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "service/call_set.h"
#include "service/local_address.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"

namespace {

using namespace service_test;
using testing_support::ProgramText;
using testing_support::TempDir;

class Devconf {
 public:
  explicit Devconf(std::vector<std::string> options) {
    std::vector<std::string> argv = {DevconfServicePath(), "--port", "0", "--port-file",
                                     dir_.path() + "/port"};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = std::make_unique<BackgroundProcess>(argv, dir_.path() + "/stdout");
    port_ = WaitForPortFile(dir_.path() + "/port");
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }
  std::string Stdout() const { return ProgramText(testing_support::ReadFile(dir_.path() + "/stdout")); }
  const std::string& dir() const { return dir_.path(); }
  BackgroundProcess& process() { return *process_; }

 private:
  TempDir dir_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

std::string AddressList() {
  char buffer[260] = {};
  GetLocalAddressList(buffer);
  return buffer;
}

TEST(DevconfService, AnswersSetWithTheChosenRAndLogsTheRequestAsOneJsonLine) {
  Devconf service({"--r", "-42"});
  ASSERT_GT(service.port(), 0);
  const std::string url = service.Url("/agent");
  int32_t result = 0;
  ASSERT_EQ(CallSet(url.c_str(), WIDE("<Doc a=\"1\">\n\t\u00e9</Doc>"), &result), 0);
  EXPECT_EQ(result, -42);
  // Where no process can ask another to stop, it is ended, its line already
  // on disk.
  const int status = service.process().Stop();
  if (platform::ChildProcess::CanRequestStop()) {
    EXPECT_EQ(status, 0);
  }

  std::string line = service.Stdout();
  const std::string idStart = "{\"operation\":\"Set\",\"MessageID\":\"";
  ASSERT_EQ(line.rfind(idStart, 0), 0u) << line;
  std::string id = line.substr(idStart.size(), line.find('"', idStart.size()) - idStart.size());
  EXPECT_EQ(line, idStart + id + "\",\"From\":\"" + AddressList() +
                      "\",\"ReplyTo\":null,\"To\":\"" + url + "\",\"Action\":\"" + url +
                      "\",\"xIn\":\"<Doc a=\\\"1\\\">\\n\\t\xC3\xA9</Doc>\"}\n");
}

TEST(DevconfService, AnswersWithTheChosenFaultAndTheCallerReportsIt) {
  struct Case {
    const char* code;
    int status;
  } cases[] = {{"Server", 2}, {"Client", 1}, {"SOAP-ENV:VersionMismatch", 39}, {"soap:Busy", 12}};
  for (const Case& c : cases) {
    Devconf service({"--fault", c.code, "--log", "requests.jsonl"});
    int32_t result = 1234;
    EXPECT_EQ(CallSet(service.Url("/x").c_str(), WIDE("<Doc/>"), &result), c.status) << c.code;
    EXPECT_EQ(result, 0) << c.code;
  }
  // The fault report, as the probe's standard error shows it.
  Devconf service({"--fault", "Server", "--fault-string", "no room"});
  testing_support::ProcessResult run = testing_support::RunProcess(
      {testing_support::BuildDir() + "/tests/service/call_set_probe", service.Url("/x"), "<a/>"});
  EXPECT_EQ(ProgramText(run.err),
            "SOAP 1.1 fault SOAP-ENV:Server [no subcode]\n\"no room\"\nDetail: [no detail]\n");
  EXPECT_NE(ProgramText(run.out).find("status=2 result=0\n"), std::string::npos) << run.out;
}

TEST(DevconfService, WritesToTheLogFileAndExitsByItselfAfterCountRequests) {
  TempDir logDir;
  const std::string log = logDir.path() + "/requests.jsonl";
  Devconf service({"--count", "2", "--log", log, "--delay", "100", "--r", "3"});
  for (int i = 0; i < 2; ++i) {
    int32_t result = 0;
    EXPECT_EQ(CallSet(service.Url("/x").c_str(), WIDE("n"), &result), 0);
    EXPECT_EQ(result, 3);
  }
  EXPECT_EQ(service.process().Wait(10), 0);
  const std::string lines = testing_support::ReadFile(log);
  EXPECT_EQ(CountOf(lines, "\n"), 2u);
  EXPECT_EQ(CountOf(lines, "\"xIn\":\"n\"}"), 2u);
  EXPECT_EQ(service.Stdout(), "");
}

TEST(DevconfService, RefusesUnknownOptionsWithUsage) {
  testing_support::ProcessResult run =
      testing_support::RunProcess({DevconfServicePath(), "--port", "70000"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(ProgramText(run.err).rfind("usage: devconf-service [options]\n", 0), 0u) << run.err;
}

}  // namespace
