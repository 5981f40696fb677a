// The Set exchange on a gSOAP context of the plug-in's own: its settings, the
// request and the reading of the response, apart from any network.
#pragma once

#include <cstdint>

struct soap;

// A fresh context with the service's namespace table, receive limits and the
// unknown-element hook; null when it cannot be had.
struct soap* NewSetContext();

// Sends Set with `xIn` to `url` and reads the response into *result, through
// whatever transport hooks the context carries. Answers the runtime's status;
// once the request is out *result reads 0 until a valid response sets it.
int ExchangeSet(struct soap* soap, const char* url, const wchar_t* xIn, int32_t* result);

// Frees everything the context holds, then the context.
void TearDownSetContext(struct soap* soap);
