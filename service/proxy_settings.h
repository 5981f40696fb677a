// The agent's forwarding proxy, read from "Conf/ProxyInfo.xml" in the agent
// folder under the machine-wide lock "h_Proxylock".
#pragma once

#include "support/buffer_sizes.h"

// Every narrow buffer these functions take holds kTextBufferSize bytes.

// True when the settings file opens and its third token is exactly "true".
bool IsProxyEnabled();

// True when enabled; then `host` and `port` (kTextBufferSize bytes each)
// hold the first two tokens. Otherwise both are left untouched.
bool ReadProxySettings(char* host, char* port);

// Rewrites the endpoint in `url` (kTextBufferSize bytes) to go through the
// proxy when it is enabled, and prints the URL on standard output. Answers
// false, leaving `url` unchanged, when the URL cannot be sent through the
// enabled proxy whole (it has no "//" before its host, or the rewrite would
// not fit); the caller must then not send it. A URL without port or path
// goes to the proxy with an empty path.
bool ApplyProxy(char* url);
