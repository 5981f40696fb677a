// The agent host's SOAP side: receives PostCommand requests and hands each one
// to the plug-in, from a file or over loopback HTTP.
#pragma once

#include <cstdint>
#include <string>

#include "hosts/agent/plugin_loader.h"

struct soap;
struct _agent__PostCommand;
struct _agent__PostCommandResponse;

class AgentService {
 public:
  explicit AgentService(const PluginLibrary* plugin) : plugin_(plugin) {}

  // Serves the one HTTP request in `request`, or read from standard input
  // when it is null; the HTTP response (a PostCommandResponse or a SOAP
  // fault) goes to `response`.
  void RunOnce(const std::string* request, std::string* response);

  // Serves requests one after another on ADDR:PORT until SIGINT or SIGTERM.
  // Prints "listening on ADDR:PORT" with the bound port once ready. Answers
  // the process exit status.
  int Serve(const std::string& address, int port);

  // The service operation; public for the generated skeleton's sake.
  int HandlePostCommand(struct soap* soap, const struct _agent__PostCommand* request,
                        struct _agent__PostCommandResponse* response);

  // Seconds a peer may stay silent while a request is read.
  static constexpr int kReceiveTimeoutSeconds = 15;
  // Requests larger than this are refused with HTTP 413, so a peer cannot
  // exhaust memory: room for the largest template the 32-bit plug-in
  // delivers (about 84 MiB, a third more in base64) with ample to spare.
  static constexpr long kMaxRequestBytes = 256L * 1024 * 1024;

 private:
  void ServeRequest(struct soap* soap);

  const PluginLibrary* plugin_;
};
