// The whole TemplateConfig command through the agent host stand-in, timed side
// by side with the floor of its own work, for templates of 2 KB to 50 MB.
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bare_set.h"
#include "bench/loopback_set_peer.h"
#include "hosts/agent/agent_service.h"
#include "hosts/agent/compose.h"
#include "hosts/agent/plugin_loader.h"
#include "hosts/agent/transport.h"
#include "platform/files.h"
#include "text/utf.h"

namespace {

// Fixed in the plug-in: the agent's local service.
constexpr int kLocalServicePort = 8000;
constexpr int32_t kLocalR = 7;
constexpr const char* kScheduleId = "42";
constexpr double kMB = 1024.0 * 1024.0;

struct Size {
  const char* label;
  const char* option;
  size_t bytes;
  int repeats;
};

const Size kSizes[] = {
    {"2 KB", "2K", 2 << 10, 1001},   {"100 KB", "100K", 100 << 10, 101},
    {"1 MB", "1M", 1 << 20, 21},     {"10 MB", "10M", 10 << 20, 15},
    {"50 MB", "50M", 50 << 20, 9},
};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// A configuration template of `size` bytes: Root with settings children, a
// little text outside ASCII, and no CSC kind (so the floor's parse and dump
// is all the XML work there is).
std::string Template(size_t size) {
  std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root Version=\"3\">\n";
  const std::string tail = "</Root>\n";
  for (int i = 0; t.size() + tail.size() < size; ++i) {
    t += "  <Display ns=\"Display\" Name=\"monitor" + std::to_string(i) +
         "\" Resolution=\"1280x1024\" ColorDepth=\"32\"><Note>caf\xC3\xA9 &amp; "
         "\xE4\xB8\xAD</Note></Display>\n";
  }
  t += tail;
  return t;
}

std::vector<wchar_t> WideChars(const char* utf8, size_t bytes) {
  const WideString units = unicode::Utf8ToUtf16(utf8, bytes);
  std::vector<wchar_t> wide(units.begin(), units.end());  // no surrogates in our texts
  wide.push_back(0);
  return wide;
}

// What the plug-in sends the local service for a template without CSC kind.
std::vector<wchar_t> ReshapedPayload(const std::string& text) {
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                XML_PARSE_NONET);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  xmlSetProp(root, BAD_CAST "Template", BAD_CAST "true");
  xmlSetProp(root, BAD_CAST "OS", BAD_CAST "All");
  xmlChar* out = nullptr;
  int n = 0;
  xmlDocDumpMemory(doc, &out, &n);
  std::vector<wchar_t> payload = WideChars(reinterpret_cast<const char*>(out), static_cast<size_t>(n));
  xmlFree(out);
  xmlFreeDoc(doc);
  return payload;
}

long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(key);
  while (std::getline(status, line)) {
    if (line.compare(0, length, key) == 0) return std::atol(line.c_str() + length);
  }
  return -1;
}

// Free memory goes back to the system and the peak restarts from here, so
// that what follows is measured from a baseline of its own.
void RestartMemoryPeak() {
  malloc_trim(0);
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

struct CommandSample {
  double seconds = 0;
  long baseKb = 0;
  long peakKb = 0;
};

// The host's entry table is the one seam: its PostCommand slot is wrapped so
// that the plug-in's own call is timed, inside the host's whole request.
QuorvilPostCommand g_postCommand = nullptr;
CommandSample g_sample;

// Not inlined, so that an instruction count (callgrind, scripts/bench) finds
// the command, the floor and the fixed work each under its own name.
__attribute__((noinline)) int TimedPostCommand(HostCommand* command) {
  RestartMemoryPeak();
  g_sample.baseKb = StatusKb("VmRSS:");
  const Clock::time_point start = Clock::now();
  const int answer = g_postCommand(command);
  g_sample.seconds = Seconds(start, Clock::now());
  g_sample.peakKb = StatusKb("VmHWM:");
  return answer;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string MachineName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.compare(0, 10, "model name") == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown CPU";
}

std::string PluginBesideUs() {
  std::vector<char> path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  std::string exe = n > 0 ? std::string(path.data(), static_cast<size_t>(n)) : std::string(".");
  // The benchmark lives in bench/ of the build tree, the plug-in in plugin/.
  return exe.substr(0, exe.rfind('/')) + "/../plugin/libQuorvil.so";
}

// The report; standard output itself takes the plug-in's console lines.
FILE* g_report = stdout;

int Fail(const std::string& message) {
  std::fprintf(stderr, "command_benchmark: %s\n", message.c_str());
  return 1;
}

struct Row {
  Size size;
  double commandMs, floorMs, fixedMs, hostMs, peakTimes, floorPeakTimes;
  double ratio() const { return commandMs / floorMs; }
  double fixedRatio() const { return commandMs / (floorMs + fixedMs); }
  double msPerMB() const { return commandMs / (static_cast<double>(size.bytes) / kMB); }
};

class Bench {
 public:
  Bench(const PluginLibrary* plugin, LoopbackSetPeer* local, LoopbackSetPeer* server,
        bool commandOnly)
      : commandOnly_(commandOnly), service_(plugin), local_(local), server_(server),
        logPath_(platform::NativePath("C:\\runtime.log")) {}

  bool Measure(const Size& size, Row* row, std::string* error);
  // Runs after the first of each (0: each size's own count).
  void set_repeats(int repeats) { repeats_ = repeats; }

 private:
  bool Command(const std::string& request, double* hostSeconds, std::string* error);
  __attribute__((noinline)) bool Floor(double* seconds, std::string* error);
  __attribute__((noinline)) void Fixed(double* seconds);

  bool commandOnly_;
  AgentService service_;
  LoopbackSetPeer* local_;
  LoopbackSetPeer* server_;
  std::string logPath_;
  std::string template_;
  std::vector<wchar_t> localPayload_, statusPayload_;
  long floorPeakKb_ = 0;
  int repeats_ = 0;
};

bool Bench::Command(const std::string& request, double* hostSeconds, std::string* error) {
  // The log would otherwise grow by the template on every run.
  if (::truncate(logPath_.c_str(), 0) != 0 && errno != ENOENT) {
    *error = "cannot empty " + logPath_;
    return false;
  }
  const long localBefore = local_->answered(), serverBefore = server_->answered();
  g_sample = CommandSample();
  std::string response;
  const Clock::time_point start = Clock::now();
  service_.RunOnce(&request, &response);
  *hostSeconds = Seconds(start, Clock::now());
  const CommandAnswer answer = ReadAnswer(response);
  if (answer.kind != CommandAnswer::kResult || answer.result != kLocalR) {
    *error = "the command did not answer result " + std::to_string(kLocalR) + ": " +
             (answer.kind == CommandAnswer::kResult ? std::to_string(answer.result)
                                                    : answer.message);
    return false;
  }
  if (local_->answered() != localBefore + 1 || server_->answered() != serverBefore + 1) {
    *error = "the command did not reach both peers once";
    return false;
  }
  return true;
}

bool Bench::Floor(double* seconds, std::string* error) {
  *seconds = 1;
  if (commandOnly_) return true;
  RestartMemoryPeak();
  const long baseKb = StatusKb("VmRSS:");
  const std::string localUrl = local_->url(), serverUrl = server_->url();
  const Clock::time_point start = Clock::now();
  xmlDocPtr doc = xmlReadMemory(template_.data(), static_cast<int>(template_.size()), nullptr,
                                nullptr, XML_PARSE_NONET);
  xmlChar* dumped = nullptr;
  int dumpedSize = 0;
  xmlDocDumpMemory(doc, &dumped, &dumpedSize);
  xmlFree(dumped);
  xmlFreeDoc(doc);
  int r = 0;
  const int localStatus = BenchBareSet(localUrl.c_str(), localPayload_.data(), &r);
  const int localR = r;
  const int serverStatus = BenchBareSet(serverUrl.c_str(), statusPayload_.data(), &r);
  *seconds = Seconds(start, Clock::now());
  floorPeakKb_ = std::max(floorPeakKb_, StatusKb("VmHWM:") - baseKb);
  if (doc == nullptr || dumpedSize <= 0 || localStatus != 0 || serverStatus != 0 ||
      localR != kLocalR) {
    *error = "the floor's work failed (parse " + std::to_string(doc != nullptr) + ", Set " +
             std::to_string(localStatus) + "/" + std::to_string(serverStatus) + ")";
    return false;
  }
  return true;
}

void Bench::Fixed(double* seconds) {
  *seconds = 0;
  if (commandOnly_) return;
  const std::string serverUrl = server_->url();
  const Clock::time_point start = Clock::now();
  BenchFixedWork(serverUrl.c_str());
  *seconds = Seconds(start, Clock::now());
}

bool Bench::Measure(const Size& size, Row* row, std::string* error) {
  template_ = Template(size.bytes);
  localPayload_ = ReshapedPayload(template_);
  const std::string status = std::string("<Root ID=\"001122AABBCC\"><TaskStatusResponse><ScheduleId>") +
                             kScheduleId + "</ScheduleId><Progress>100</Progress>" +
                             "</TaskStatusResponse></Root>";
  statusPayload_ = WideChars(status.data(), status.size());

  ComposeOptions options;
  options.templateBytes = template_;
  options.encoding = "base64";
  options.haveScheduleId = true;
  options.scheduleId = kScheduleId;
  options.haveEndpoint = true;
  options.endpoint = server_->url();
  std::string request;
  if (!ComposeRequest(options, &request, error)) return false;

  std::vector<double> command, floor, fixed, host;
  double peakKb = 0;
  floorPeakKb_ = 0;
  // One of each to warm caches and the identity look-up, then in turns.
  double floorSeconds = 0, fixedSeconds = 0, hostSeconds = 0;
  bool ok = Command(request, &hostSeconds, error) && Floor(&floorSeconds, error);
  Fixed(&fixedSeconds);
  const int repeats = repeats_ > 0 ? repeats_ : size.repeats;
  for (int i = 0; ok && i < repeats; ++i) {
    if (i % 2 == 0) {
      ok = Command(request, &hostSeconds, error) && Floor(&floorSeconds, error);
      Fixed(&fixedSeconds);
    } else {
      Fixed(&fixedSeconds);
      ok = Floor(&floorSeconds, error) && Command(request, &hostSeconds, error);
    }
    if (!ok) break;
    command.push_back(g_sample.seconds);
    host.push_back(hostSeconds);
    floor.push_back(floorSeconds);
    fixed.push_back(fixedSeconds);
    peakKb = std::max(peakKb, static_cast<double>(g_sample.peakKb - g_sample.baseKb));
  }
  if (!ok) return false;
  row->size = size;
  row->commandMs = Median(command) * 1e3;
  row->floorMs = Median(floor) * 1e3;
  row->fixedMs = Median(fixed) * 1e3;
  row->hostMs = Median(host) * 1e3;
  row->peakTimes = peakKb * 1024.0 / static_cast<double>(size.bytes);
  row->floorPeakTimes = static_cast<double>(floorPeakKb_) * 1024.0 / static_cast<double>(size.bytes);
  return true;
}

void Usage(FILE* out) {
  std::fputs(
      "usage: command_benchmark [--quick] [--plugin PATH] [--data FILE] [--size S] [--repeats N]\n"
      "  --quick        only the 2 KB and 10 MB templates\n"
      "  --plugin PATH  the plug-in to load (default: the one of this build tree)\n"
      "  --data FILE    also write the rows as tab-separated values for plotting\n"
      "  --size S       only this size: 2K, 100K, 1M, 10M or 50M (may be repeated)\n"
      "  --command-only run the command alone, for a profiler\n"
      "  --repeats N    N timed runs of each after the first (default: 1001 at 2 KB\n"
      "                 down to 9 at 50 MB), as for an instruction count\n"
      "Needs QUORVIL_ROOT set to a scratch folder and 127.0.0.1:8000 free.\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false, commandOnly = false;
  int repeats = 0;
  std::string pluginPath = PluginBesideUs(), dataPath;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      quick = true;
    } else if (a == "--size" && i + 1 < argc) {
      only.push_back(argv[++i]);
    } else if (a == "--repeats" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      repeats = std::atoi(argv[++i]);
    } else if (a == "--command-only") {
      commandOnly = true;
    } else if (a == "--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (a == "--data" && i + 1 < argc) {
      dataPath = argv[++i];
    } else if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (std::getenv("QUORVIL_ROOT") == nullptr) {
    return Fail("set QUORVIL_ROOT to a scratch folder (scripts/bench does)");
  }
  platform::MakeDirectories(platform::MachineRoot());
  // The proxy settings print a line for every request (none are set here).
  const std::string console = platform::MachineRoot() + "/command_benchmark.console";
  const int reportFd = ::dup(STDOUT_FILENO);
  g_report = reportFd >= 0 ? ::fdopen(reportFd, "w") : nullptr;
  if (g_report == nullptr || std::freopen(console.c_str(), "w", stdout) == nullptr) {
    g_report = stdout;
    return Fail("cannot send the plug-in's console lines to " + console);
  }

  // The plug-in always delivers to 127.0.0.1:8000; only our peer may be there.
  LoopbackSetPeer local, server;
  std::string error;
  if (SomethingListensOn(kLocalServicePort) || !local.Start(kLocalServicePort, kLocalR, &error)) {
    return Fail("127.0.0.1:8000 is in use; the plug-in delivers every template there, so the "
                "benchmark must answer on it: stop what listens on that port and run again");
  }
  if (!server.Start(0, 0, &error)) return Fail(error);

  PluginLibrary plugin;
  if (!plugin.Load(pluginPath, &error)) return Fail(error);
  auto& entry = const_cast<PluginEntryPoints&>(plugin.entry());
  g_postCommand = entry.PostCommand;
  entry.PostCommand = TimedPostCommand;

  std::fprintf(g_report, "TemplateConfig through the agent host stand-in, base64 attachment, loopback peers\n");
  std::fprintf(g_report, "machine: %s, %ld cores\n", MachineName().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
  std::fprintf(g_report, "command: PostCommand; floor: libxml2 parse+dump + bare Set of the reshaped\n"
              "template + bare Set of the status document; fixed: the work every command\n"
              "does whatever its template (the schedule identifier read from the command\n"
              "text, 13 flushed log lines, the address list of both calls with the proxy\n"
              "flag and host name under their locks, the proxy's rewrite and console line,\n"
              "the machine identity); medians; peak memory of the command beyond its\n"
              "baseline, in template sizes\n\n");
  std::fprintf(g_report, "| template | command ms | floor ms | fixed ms | ratio | ratio to floor+fixed | command ms/MB | host ms | peak memory | floor's peak |\n");
  std::fprintf(g_report, "|---------:|-----------:|---------:|---------:|------:|---------------------:|--------------:|--------:|------------:|-------------:|\n");
  std::fflush(g_report);

  std::vector<Row> rows;
  Bench bench(&plugin, &local, &server, commandOnly);
  bench.set_repeats(repeats);
  for (const Size& size : kSizes) {
    if (quick && size.bytes != (2 << 10) && size.bytes != (10 << 20)) continue;
    if (!only.empty() && std::find(only.begin(), only.end(), size.option) == only.end()) continue;
    Row row{};
    if (!bench.Measure(size, &row, &error)) return Fail(std::string(size.label) + ": " + error);
    std::fprintf(g_report, "| %8s | %10.2f | %8.2f | %8.2f | %5.2f | %20.2f | %13.2f | %7.2f | %10.1fx | %11.1fx |\n",
                 size.label, row.commandMs, row.floorMs, row.fixedMs, row.ratio(), row.fixedRatio(),
                 row.msPerMB(), row.hostMs, row.peakTimes, row.floorPeakTimes);
    std::fflush(g_report);
    rows.push_back(row);
  }
  // Others on this machine may knock on 127.0.0.1:8000 while we hold it.
  if (local.refused() + server.refused() != 0) {
    std::fprintf(g_report, "note: the peers refused %ld requests that were not this benchmark's\n",
                 local.refused() + server.refused());
  }

  if (!dataPath.empty()) {
    std::ofstream data(dataPath, std::ios::trunc);
    data << "# bytes\tlabel\tcommand_ms\tfloor_ms\tratio\tpeak_x\tfixed_ms\tfixed_ratio\n";
    for (const Row& r : rows) {
      data << r.size.bytes << "\t\"" << r.size.label << "\"\t" << r.commandMs << "\t" << r.floorMs
           << "\t" << r.ratio() << "\t" << r.peakTimes << "\t" << r.fixedMs << "\t" << r.fixedRatio()
           << "\n";
    }
  }

  std::fprintf(g_report, "\n");
  double lowest = 0, highest = 0;
  for (const Row& r : rows) {
    if (r.size.bytes < (1 << 20)) continue;
    lowest = lowest == 0 ? r.msPerMB() : std::min(lowest, r.msPerMB());
    highest = std::max(highest, r.msPerMB());
  }
  if (lowest > 0 && !quick) {
    std::fprintf(g_report, "time per MB from 1 MB to 50 MB: %.2f to %.2f ms, spread %.0f %% (goal: within 20 %%)\n",
                lowest, highest, (highest / lowest - 1) * 100);
  }
  for (const Row& r : rows) {
    if (r.size.bytes >= (10 << 20)) {
      std::fprintf(g_report,
                   "peak memory at %s: %.1fx the template, the floor's %.1fx (goal: at most the "
                   "floor's plus 2x)\n",
                   r.size.label, r.peakTimes, r.floorPeakTimes);
    }
  }
  double worst = 0, worstFixed = 0;
  for (const Row& r : rows) {
    worst = std::max(worst, r.ratio());
    worstFixed = std::max(worstFixed, r.fixedRatio());
  }
  std::fprintf(g_report, "worst ratio: %.2f\n", worst);
  std::fprintf(g_report, "worst ratio to floor plus fixed work: %.2f\n", worstFixed);
  return 0;
}
