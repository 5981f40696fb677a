// The one service call of the plug-in: the device-configuration operation Set.
#pragma once

#include <cstdint>

#include "platform/wide.h"

// Sends `payload` to `endpoint` with Set and stores the response's r in
// *result. Answers 0 on success; 2 when the arguments are refused (a missing or
// empty endpoint or payload, an endpoint naming http://0.0.0.0 or longer than
// 259 characters, a null result, or a remote endpoint that the enabled proxy
// cannot carry whole), with nothing sent and *result untouched; otherwise the
// gSOAP runtime's status, reported on standard error. Once the request has
// been sent, *result reads 0 until a valid response sets it.
int CallSet(const char* endpoint, const WideChar* payload, int32_t* result);
