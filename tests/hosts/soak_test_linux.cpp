// Serving agents with the real plug-in under load: thousands of commands in
// a row, and six agents on one machine root at once. QUORVIL_SOAK_COMMANDS
// sets the length of the long run (scripts/bench --soak makes it long).
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "hosts/agent/compose.h"
#include "hosts/agent/transport.h"
#include "platform/files.h"
#include "tests/common/devconf_peer.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::AgentPath;
using testing_support::BuildDir;
using testing_support::DevconfPeer;
using testing_support::ReadFile;
using testing_support::TempDir;

// `quorvil-agent serve` with the plug-in built beside it, on a port chosen here.
class Agent {
 public:
  explicit Agent(const TempDir& dir, int index)
      : port_(service_test::ClosedPort()),
        out_(dir.path() + "/agent" + std::to_string(index) + ".out"),
        process_({AgentPath(), "serve", "--port", std::to_string(port_)}, out_) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ReadFile(out_).find("listening on") == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) {
        port_ = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  int port() const { return port_; }

  // Posts `request` and answers the command's result, -1 when it has none.
  int32_t Post(const std::string& request) const {
    LoopbackUrl url;
    std::string response, error;
    if (!ParseLoopbackUrl("http://127.0.0.1:" + std::to_string(port_) + "/", &url, &error) ||
        !Exchange(url, request, &response, &error)) {
      ADD_FAILURE() << error;
      return -1;
    }
    const CommandAnswer answer = ReadAnswer(response);
    return answer.kind == CommandAnswer::kResult ? answer.result : -1;
  }

  long ResidentKb() const {
    std::ifstream status("/proc/" + std::to_string(process_.pid()) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
  }
  // The descriptors the agent holds between requests: it closes a
  // connection only after the peer has read the answer, so the count is
  // read once it has stayed the same for a while.
  int IdleDescriptors() const {
    int last = Descriptors(), same = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (same < 20 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const int now = Descriptors();
      same = now == last ? same + 1 : 0;
      last = now;
    }
    return last;
  }

 private:
  int Descriptors() const {
    DIR* dir = ::opendir(("/proc/" + std::to_string(process_.pid()) + "/fd").c_str());
    if (dir == nullptr) return -1;
    int n = 0;
    while (dirent* e = ::readdir(dir)) n += e->d_name[0] != '.';
    ::closedir(dir);
    return n;
  }

  int port_;
  std::string out_;
  service_test::BackgroundProcess process_;
};

std::string Compose(const std::string& templateText, const std::string& encoding,
                    const std::string& scheduleId, const std::string& endpoint) {
  ComposeOptions options;
  options.templateBytes = templateText;
  options.encoding = encoding;
  options.haveScheduleId = true;
  options.scheduleId = scheduleId;
  options.haveEndpoint = true;
  options.endpoint = endpoint;
  std::string request, error;
  EXPECT_TRUE(ComposeRequest(options, &request, &error)) << error;
  return request;
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::LocalServicePortIsFree());
    local_ = std::make_unique<DevconfPeer>(8000, std::vector<std::string>{"--r", "7"});
    ASSERT_TRUE(local_->running());
    ASSERT_TRUE(server_.running());
  }
  TempDir dir_;
  DevconfPeer server_{0};
  std::unique_ptr<DevconfPeer> local_;
};

// The template of one command, `bytes` long, named by `mark`.
std::string Template(const std::string& mark, size_t bytes) {
  std::string text = "<Root><Item id=\"" + mark + "\" data=\"";
  text.append(bytes - text.size() - 10, 'x');
  return text + "\"/></Root>";
}

#ifdef __SANITIZE_ADDRESS__
// Its quarantine holds freed memory on purpose, so memory is not measured
// there, and a shorter run checks answers and descriptors.
constexpr bool kMeasureMemory = false;
constexpr int kDefaultCommands = 600;
#else
constexpr bool kMeasureMemory = true;
constexpr int kDefaultCommands = 2000;
#endif

TEST_F(Soak, ThousandsOfCommandsInARowKeepMemoryAndDescriptors) {
  const char* knob = std::getenv("QUORVIL_SOAK_COMMANDS");
  const int commands = knob != nullptr ? std::atoi(knob) : kDefaultCommands;
  constexpr int kWarmUp = 150;
  std::vector<std::string> requests;
  for (const char* encoding : {"base64", "quoted-printable", "8bit"}) {
    requests.push_back(Compose(Template("soak", 4096), encoding, "5", server_.url("/status")));
  }
  Agent agent(dir_, 0);
  ASSERT_GT(agent.port(), 0);

  int answered = 0;
  auto run = [&](int count) {
    for (int i = 0; i < count; ++i) answered += agent.Post(requests[i % requests.size()]) == 7;
  };
  run(kWarmUp);
  const long residentAfterWarmUp = agent.ResidentKb();
  const int descriptorsAfterWarmUp = agent.IdleDescriptors();
  const auto start = std::chrono::steady_clock::now();
  run(commands);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long resident = agent.ResidentKb();

  EXPECT_EQ(answered, kWarmUp + commands);
  EXPECT_EQ(local_->Requests().size(), static_cast<size_t>(kWarmUp + commands));
  EXPECT_EQ(server_.Requests().size(), static_cast<size_t>(kWarmUp + commands));
  EXPECT_EQ(agent.IdleDescriptors(), descriptorsAfterWarmUp);
  if (kMeasureMemory) {
    EXPECT_LE(resident, residentAfterWarmUp + 1024)
        << "resident memory after warm-up " << residentAfterWarmUp << " KB";
  }
  std::printf("soak: %d commands in %.1f s (%.0f a second), resident %ld KB after warm-up, "
              "%ld KB at the end, %d descriptors\n",
              commands, seconds, commands / seconds, residentAfterWarmUp, resident,
              descriptorsAfterWarmUp);
}

TEST_F(Soak, SixAgentsOnOneMachineRootDeliverAndReportEachCommandOnceWithWholeLogLines) {
  constexpr int kAgents = 6;
  constexpr int kCommandsEach = 6;
  const size_t kSizes[] = {30 * 1024, 100 * 1024, 30 * 1024, 1024 * 1024};
  const std::string log = platform::NativePath("C:\\runtime.log");
  const size_t logBefore = ReadFile(log).size();

  std::set<std::string> templates;
  std::vector<std::vector<std::string>> requests(kAgents);
  for (int a = 0; a < kAgents; ++a) {
    for (int c = 0; c < kCommandsEach; ++c) {
      const std::string mark = "a" + std::to_string(a) + "c" + std::to_string(c);
      const std::string text = Template(mark, kSizes[c % 4]);
      templates.insert(text);
      const char* encoding = c % 3 == 0 ? "base64" : c % 3 == 1 ? "quoted-printable" : "8bit";
      requests[a].push_back(
          Compose(text, encoding, std::to_string(a * 100 + c), server_.url("/status")));
    }
  }
  std::vector<std::unique_ptr<Agent>> agents;
  for (int a = 0; a < kAgents; ++a) {
    agents.push_back(std::make_unique<Agent>(dir_, a));
    ASSERT_GT(agents.back()->port(), 0);
  }
  std::vector<int> answered(kAgents, 0);
  std::vector<std::thread> senders;
  const auto start = std::chrono::steady_clock::now();
  for (int a = 0; a < kAgents; ++a) {
    senders.emplace_back([&, a] {
      for (const std::string& request : requests[a]) answered[a] += agents[a]->Post(request) == 7;
    });
  }
  for (std::thread& sender : senders) sender.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  agents.clear();
  size_t bytes = 0;
  for (const std::string& text : templates) bytes += text.size();
  std::printf("soak: %d agents on one machine root, %zu commands carrying %.1f MB in %.1f s\n",
              kAgents, templates.size(), bytes / 1048576.0, seconds);

  for (int a = 0; a < kAgents; ++a) EXPECT_EQ(answered[a], kCommandsEach) << "agent " << a;
  std::multiset<std::string> delivered;
  for (const auto& request : local_->Requests()) {
    const size_t item = request.xIn.find("<Item ");
    ASSERT_NE(item, std::string::npos) << request.xIn.substr(0, 200);
    delivered.insert("<Root>" + request.xIn.substr(item, request.xIn.find("/>", item) + 2 - item) +
                     "</Root>");
  }
  EXPECT_EQ(delivered, std::multiset<std::string>(templates.begin(), templates.end()));
  std::multiset<std::string> reported;
  for (const auto& report : server_.Requests()) {
    reported.insert(service_test::ElementText(report.xIn, "ScheduleId"));
  }
  EXPECT_EQ(reported.size(), templates.size());
  EXPECT_EQ(std::set<std::string>(reported.begin(), reported.end()).size(), templates.size())
      << "a command reported twice";

  std::string bad;
  const auto messages = testing_support::LogMessages(ReadFile(log).substr(logBefore), &bad);
  EXPECT_EQ(bad, "") << "a line without its prefix or its end";
  std::multiset<std::string> logged;
  for (const std::string& message : messages) {
    if (message.compare(0, 9, "-----xIn:") == 0) logged.insert(message.substr(9));
  }
  EXPECT_EQ(logged, std::multiset<std::string>(templates.begin(), templates.end()));
}

}  // namespace
