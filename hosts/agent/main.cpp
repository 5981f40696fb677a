// quorvil-agent: a stand-in for the management agent that loads the plug-in
// and drives its entry points.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hosts/agent/plugin_loader.h"

namespace {

void Usage(std::FILE* out) {
  std::fputs(
      "usage: quorvil-agent [--plugin PATH] COMMAND\n"
      "\n"
      "commands:\n"
      "  exports            load the plug-in and call InitModule, GetInfo,\n"
      "                     GetPluginVersion, RunTimeRoutine, SetDbg, UninitModule\n"
      "  call ENTRY...      call the named entry points in order\n"
      "\n"
      "--plugin defaults to the libQuorvil.so built beside this program.\n"
      "The plug-in logs to $QUORVIL_ROOT/drive_c/runtime.log.\n",
      out);
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
    if (fn == nullptr) {
      std::fprintf(stderr, "quorvil-agent: no entry point named %s\n", name.c_str());
      return 2;
    }
    std::printf("%s: %d\n", name.c_str(), fn());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string pluginPath;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.empty()) {
    Usage(stderr);
    return 2;
  }
  if (pluginPath.empty()) pluginPath = DefaultPluginPath();

  PluginLibrary plugin;
  std::string error;
  if (!plugin.Load(pluginPath, &error)) {
    std::fprintf(stderr, "quorvil-agent: %s\n", error.c_str());
    return 1;
  }
  const std::string command = args[0];
  if (command == "exports") {
    return CallEntries(plugin, {"InitModule", "GetInfo", "GetPluginVersion", "RunTimeRoutine",
                                "SetDbg", "UninitModule"});
  }
  if (command == "call") {
    return CallEntries(plugin, std::vector<std::string>(args.begin() + 1, args.end()));
  }
  std::fprintf(stderr, "quorvil-agent: unknown command %s (try --help)\n", command.c_str());
  return 2;
}
