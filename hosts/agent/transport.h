// Reading the agent's answer, and posting a request to a serving agent on a
// loopback address.
#pragma once

#include <cstdint>
#include <string>

struct CommandAnswer {
  enum Kind { kResult, kNoResult, kFault, kUnreadable } kind = kUnreadable;
  int32_t result = 0;
  // The fault's string and detail, or why the answer could not be read.
  std::string message;
};

// Reads one HTTP response carrying a PostCommandResponse or a SOAP fault.
CommandAnswer ReadAnswer(const std::string& httpResponse);

struct LoopbackUrl {
  std::string host;  // as written in the URL, brackets of IPv6 removed
  int port = 80;
  std::string path = "/";
  std::string hostHeader;
};

// Only http URLs whose host is in 127.0.0.0/8, ::1 or "localhost".
bool ParseLoopbackUrl(const std::string& url, LoopbackUrl* parsed, std::string* error);

// Writes `request` to the agent and reads its response up to the end of the
// connection. False with `error` when that fails.
bool Exchange(const LoopbackUrl& url, const std::string& request, std::string* response,
              std::string* error);
