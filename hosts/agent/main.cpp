// quorvil-agent: a stand-in for the management agent that loads the plug-in,
// drives its entry points and hands it commands received over SOAP.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hosts/agent/agent_service.h"
#include "hosts/agent/compose.h"
#include "hosts/agent/plugin_loader.h"
#include "hosts/agent/transport.h"
#include "platform/files.h"
#include "platform/standin/program.h"
#include "quorvil/version.h"
#include "text/utf.h"

namespace {

// The bytes of the file at the UTF-8 `path`; false with errno set.
bool ReadBytes(const std::string& path, std::string* bytes) {
  return platform::ReadFileBytes(unicode::Utf8ToUtf16(path.data(), path.size()), bytes);
}

const char kUsage[] =
    "usage: quorvil-agent [--plugin PATH] COMMAND [OPTIONS]\n"
    "       quorvil-agent --version\n"
    "\n"
    "commands:\n"
    "  exports            load the plug-in and call InitModule, GetInfo,\n"
    "                     GetPluginVersion, RunTimeRoutine, SetDbg, UninitModule\n"
    "  call ENTRY...      call the named entry points in order\n"
    "  run [FILE|-]       hand one HTTP request (from FILE or standard input) to\n"
    "                     the plug-in's PostCommand and print its result\n"
    "  serve              receive requests over HTTP and hand each to the plug-in\n"
    "  compose            write a TemplateConfig request to standard output\n"
    "  send --to URL      post a TemplateConfig request to a serving agent\n"
    "\n"
    "--plugin defaults to the libQuorvil.so built beside this program.\n"
    "The plug-in logs to $QUORVIL_ROOT/drive_c/runtime.log.\n"
    "'quorvil-agent COMMAND --help' describes a command's options.\n";

const char kRunUsage[] =
    "usage: quorvil-agent [--plugin PATH] run [FILE|-]\n"
    "\n"
    "Reads one whole HTTP request (request line, headers, body) from FILE, or\n"
    "from standard input when FILE is - or missing, hands the command to the\n"
    "plug-in and prints 'result: N', or 'result: none' when the plug-in set no\n"
    "result. A request the agent refuses is reported with its SOAP fault.\n";

const char kServeUsage[] =
    "usage: quorvil-agent [--plugin PATH] serve [--port N] [--bind ADDR]\n"
    "\n"
    "Serves PostCommand requests one after another until SIGINT or SIGTERM.\n"
    "  --port N     port to listen on (default 8080; 0 picks a free one)\n"
    "  --bind ADDR  address to listen on (default 127.0.0.1)\n"
    "Prints 'listening on ADDR:PORT' once it accepts requests.\n";

const char kComposeOptions[] =
    "  --template FILE        the configuration template to attach\n"
    "  --encoding ENC         none, 7bit, 8bit, binary, quoted-printable or base64\n"
    "                         (default base64)\n"
    "  --schedule-id ID       ScheduleId of the command text (left out if not given)\n"
    "  --endpoint URL         the EndPoint attribute (left out if not given)\n"
    "  --attr KEY=VALUE       set an attribute; replaces Modified=true,\n"
    "                         Attachment=true or EndPoint; may be repeated\n"
    "  --no-attachment        send the envelope alone as text/xml\n";

const char kComposeUsage[] =
    "usage: quorvil-agent compose --template FILE [OPTIONS]\n"
    "\n"
    "Writes a whole HTTP request for a TemplateConfig command to standard output,\n"
    "ready for 'quorvil-agent run -'.\n";

const char kSendUsage[] =
    "usage: quorvil-agent send --to URL --template FILE [OPTIONS]\n"
    "\n"
    "Posts a TemplateConfig request to an agent serving on a loopback address\n"
    "(127.0.0.0/8, ::1 or localhost) and prints its result.\n"
    "  --to URL               the agent, for instance http://127.0.0.1:8080/\n";

int Fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "quorvil-agent: %s\n", message.c_str());
  return status;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

int CallEntries(const PluginLibrary& plugin, const std::vector<std::string>& names) {
  const PluginEntryPoints& e = plugin.entry();
  for (const std::string& name : names) {
    QuorvilEntryPoint fn = nullptr;
    if (name == "InitModule") fn = e.InitModule;
    else if (name == "UninitModule") fn = e.UninitModule;
    else if (name == "GetInfo") fn = e.GetInfo;
    else if (name == "RunTimeRoutine") fn = e.RunTimeRoutine;
    else if (name == "GetPluginVersion") fn = e.GetPluginVersion;
    else if (name == "SetDbg") fn = e.SetDbg;
    if (fn == nullptr) return Fail("no entry point named " + name, 2);
    std::printf("%s: %d\n", name.c_str(), fn());
  }
  return 0;
}

int PrintAnswer(const std::string& httpResponse) {
  const CommandAnswer answer = ReadAnswer(httpResponse);
  switch (answer.kind) {
    case CommandAnswer::kResult:
      std::printf("result: %d\n", static_cast<int>(answer.result));
      return 0;
    case CommandAnswer::kNoResult:
      std::printf("result: none\n");
      return 0;
    case CommandAnswer::kFault:
      return Fail("the request was refused with a SOAP fault: " + answer.message);
    case CommandAnswer::kUnreadable:
      break;
  }
  return Fail("the agent's answer could not be read: " + answer.message);
}

int Run(const PluginLibrary& plugin, const std::vector<std::string>& args) {
  if (args.size() > 1) return Fail("run takes at most one FILE (try run --help)", 2);
  const std::string file = args.empty() ? "-" : args[0];
  std::string request;
  if (file != "-" && !ReadBytes(file, &request)) {
    return Fail("cannot read the request " + file + ": " + std::strerror(errno));
  }
  AgentService service(&plugin);
  std::string response;
  service.RunOnce(file != "-" ? &request : nullptr, &response);
  return PrintAnswer(response);
}

bool ParseNumber(const std::string& text, int max, int* value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::stoi(text);
  return *value <= max;
}

int Serve(const PluginLibrary& plugin, const std::vector<std::string>& args) {
  int port = 8080;
  std::string address = "127.0.0.1";
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--port" && hasValue) {
      if (!ParseNumber(args[++i], 65535, &port)) return Fail("bad port " + args[i], 2);
    } else if (args[i] == "--bind" && hasValue) {
      address = args[++i];
    } else {
      return Fail("serve: unexpected argument " + args[i] + " (try serve --help)", 2);
    }
  }
  AgentService service(&plugin);
  return service.Serve(address, port);
}

// Options shared by compose and send; `to` is only accepted when not null.
int ParseComposeOptions(const std::vector<std::string>& args, ComposeOptions* options,
                        std::string* to) {
  std::string templateFile;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--no-attachment") {
      options->attachment = false;
    } else if (!hasValue) {
      return Fail("unexpected argument " + a + " (try --help)", 2);
    } else if (a == "--template") {
      templateFile = args[++i];
    } else if (a == "--encoding") {
      options->encoding = args[++i];
      if (!IsKnownEncoding(options->encoding)) {
        return Fail("unknown encoding " + options->encoding +
                        " (none, 7bit, 8bit, binary, quoted-printable, base64)",
                    2);
      }
    } else if (a == "--schedule-id") {
      options->haveScheduleId = true;
      options->scheduleId = args[++i];
    } else if (a == "--endpoint") {
      options->haveEndpoint = true;
      options->endpoint = args[++i];
    } else if (a == "--attr") {
      const std::string& pair = args[++i];
      const size_t eq = pair.find('=');
      if (eq == std::string::npos || eq == 0) return Fail("--attr needs KEY=VALUE: " + pair, 2);
      options->extraAttributes.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    } else if (a == "--to" && to != nullptr) {
      *to = args[++i];
    } else {
      return Fail("unexpected argument " + a + " (try --help)", 2);
    }
  }
  if (templateFile.empty()) {
    if (options->attachment) return Fail("--template FILE is required", 2);
    return 0;
  }
  if (!ReadBytes(templateFile, &options->templateBytes)) {
    return Fail("cannot read the template " + templateFile + ": " + std::strerror(errno));
  }
  return 0;
}

int Compose(const std::vector<std::string>& args) {
  ComposeOptions options;
  if (int status = ParseComposeOptions(args, &options, nullptr)) return status;
  std::string request, error;
  if (!ComposeRequest(options, &request, &error)) return Fail(error);
  std::fwrite(request.data(), 1, request.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : Fail("cannot write the request");
}

int Send(const std::vector<std::string>& args) {
  ComposeOptions options;
  std::string to;
  if (int status = ParseComposeOptions(args, &options, &to)) return status;
  if (to.empty()) return Fail("send needs --to URL", 2);
  LoopbackUrl url;
  std::string error;
  if (!ParseLoopbackUrl(to, &url, &error)) return Fail(error);
  options.path = url.path;
  options.host = url.hostHeader;
  std::string request, response;
  if (!ComposeRequest(options, &request, &error)) return Fail(error);
  if (!Exchange(url, request, &response, &error)) return Fail(error);
  return PrintAnswer(response);
}

int AgentMain(const std::vector<std::string>& argv) {
  // Requests and their answers are bytes.
  platform::SetBinaryStandardStreams();
  const size_t argc = argv.size();
  std::string pluginPath;
  std::vector<std::string> args;
  size_t i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (argv[i] == "--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (argv[i] == "--help" || argv[i] == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (argv[i] == "--version") {
      std::puts("quorvil-agent " QUORVIL_VERSION);
      return 0;
    } else {
      return Fail("unknown option " + argv[i] + " (try --help)", 2);
    }
  }
  if (i == argc) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[i++];
  for (; i < argc; ++i) {
    // --plugin after the command too, as the first version accepted it.
    if (argv[i] == "--plugin" && i + 1 < argc &&
        (command == "exports" || command == "call" || command == "run" || command == "serve")) {
      pluginPath = argv[++i];
    } else {
      args.push_back(argv[i]);
    }
  }

  if (command == "compose" || command == "send") {
    if (WantsHelp(args)) {
      std::fputs(command == "compose" ? kComposeUsage : kSendUsage, stdout);
      std::fputs(kComposeOptions, stdout);
      return 0;
    }
    return command == "compose" ? Compose(args) : Send(args);
  }
  const char* help = command == "run"     ? kRunUsage
                     : command == "serve" ? kServeUsage
                     : command == "exports" || command == "call" ? kUsage
                                                                 : nullptr;
  if (help == nullptr) return Fail("unknown command " + command + " (try --help)", 2);
  if (WantsHelp(args)) {
    std::fputs(help, stdout);
    return 0;
  }

  if (pluginPath.empty()) pluginPath = DefaultPluginPath();
  PluginLibrary plugin;
  std::string error;
  if (!plugin.Load(pluginPath, &error)) return Fail(error);
  if (command == "exports") {
    return CallEntries(plugin, {"InitModule", "GetInfo", "GetPluginVersion", "RunTimeRoutine",
                                "SetDbg", "UninitModule"});
  }
  if (command == "call") return CallEntries(plugin, args);
  if (command == "run") return Run(plugin, args);
  return Serve(plugin, args);
}

}  // namespace

int main(int argc, char** argv) { return AgentMain(platform::ProgramArguments(argc, argv)); }
