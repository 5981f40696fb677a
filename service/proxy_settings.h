// The agent's forwarding proxy, read from "Conf/ProxyInfo.xml" in the agent
// folder under the machine-wide lock "h_Proxylock".
#pragma once

#include <cstddef>

// Size of every narrow buffer these functions take: 259 characters and a zero.
constexpr size_t kProxyBufferSize = 260;

// True when the settings file opens and its third token is exactly "true".
bool IsProxyEnabled();

// True when enabled; then `host` and `port` (kProxyBufferSize bytes each)
// hold the first two tokens. Otherwise both are left untouched.
bool ReadProxySettings(char* host, char* port);

// Rewrites the endpoint in `url` (kProxyBufferSize bytes) to go through the
// proxy when it is enabled, and prints the URL on standard output. Answers
// false, leaving `url` unchanged, when the URL cannot be sent through the
// enabled proxy whole (it has no "//" before its host, or the rewrite would
// not fit); the caller must then not send it. A URL without port or path
// goes to the proxy with an empty path.
bool ApplyProxy(char* url);
