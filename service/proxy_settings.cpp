#include "service/proxy_settings.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "support/module_dir.h"
#include "support/named_lock.h"

namespace {

constexpr const WideChar* kSettingsFile = WIDE("Conf/ProxyInfo.xml");
// "代理不可用" and "代理未开启" in code page 936.
constexpr const char kUnavailable[] = "\xB4\xFA\xC0\xED\xB2\xBB\xBF\xC9\xD3\xC3";
constexpr const char kNotEnabled[] = "\xB4\xFA\xC0\xED\xCE\xB4\xBF\xAA\xC6\xF4";

// The console is the host's: a pipe its reader has left must not end it.
void PrintLine(const char* text) {
  platform::BrokenPipeGuard quiet;
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Reads the next whitespace-separated token into `out` (kTextBufferSize
// bytes). False at the end of the file, or when the token does not fit: an
// overlong token makes the whole file unusable rather than cut.
bool NextToken(std::FILE* file, char* out, bool* tooLong) {
  int c;
  do {
    c = std::fgetc(file);
  } while (c != EOF && std::isspace(c));
  if (c == EOF) return false;
  size_t n = 0;
  while (c != EOF && !std::isspace(c)) {
    if (n + 1 >= kTextBufferSize) {
      *tooLong = true;
      return false;
    }
    out[n++] = static_cast<char>(c);
    c = std::fgetc(file);
  }
  out[n] = '\0';
  return true;
}

bool ReadSettings(char* host, char* port) {
  NamedLockGuard lock(WIDE("h_Proxylock"));
  WideString folder;
  GetModuleDir(folder);
  std::FILE* file = platform::OpenFile(folder + kSettingsFile, "r");
  if (file == nullptr) {
    PrintLine(kUnavailable);
    return false;
  }
  char tokens[3][kTextBufferSize] = {};
  bool tooLong = false;
  for (auto& token : tokens) {
    if (!NextToken(file, token, &tooLong)) break;
  }
  bool enabled = !tooLong && std::strcmp(tokens[2], "true") == 0;
  if (!enabled) {
    PrintLine(kNotEnabled);
  } else if (host != nullptr && port != nullptr) {
    std::memcpy(host, tokens[0], kTextBufferSize);
    std::memcpy(port, tokens[1], kTextBufferSize);
  }
  std::fclose(file);
  return enabled;
}

// Only the path survives the rewrite: the text after the first "/" that
// follows the "//", empty when there is none. Host and port, present or not,
// are the proxy's in the rewritten URL. Without "//" there is no host to
// replace.
bool PathOf(const char* url, std::string* path) {
  const char* slashes = std::strstr(url, "//");
  if (slashes == nullptr) return false;
  const char* slash = std::strchr(slashes + 2, '/');
  *path = slash != nullptr ? slash + 1 : "";
  return true;
}

}  // namespace

bool IsProxyEnabled() { return ReadSettings(nullptr, nullptr); }

bool ReadProxySettings(char* host, char* port) { return ReadSettings(host, port); }

bool ApplyProxy(char* url) {
  if (url == nullptr || std::strchr(url, ':') == nullptr) return true;
  std::string path;
  const bool split = PathOf(url, &path);
  char host[kTextBufferSize] = {};
  char port[kTextBufferSize] = {};
  if (!ReadProxySettings(host, port)) {
    PrintLine(url);
    return true;
  }
  if (!split) {
    platform::BrokenPipeGuard quiet;
    std::fprintf(stderr, "proxy: %s cannot be sent through the proxy; not sent\n", url);
    return false;
  }
  const std::string rewritten = std::string("http://") + host + ":" + port + "/" + path;
  if (rewritten.size() >= kTextBufferSize) {
    platform::BrokenPipeGuard quiet;
    std::fprintf(stderr, "proxy: rewriting %s through the proxy is too long; not sent\n", url);
    return false;
  }
  std::memcpy(url, rewritten.c_str(), rewritten.size() + 1);
  PrintLine(url);
  return true;
}
