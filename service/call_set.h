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

// CallSet of a payload already in the form the gSOAP runtime holds wide text
// in (wchar_t: UTF-32 here, UTF-16 on Windows), sent from where it lies with
// no copy made: the same request on the wire as CallSet of the same text in
// UTF-16, and the same answers.
int CallSetWchar(const char* endpoint, const wchar_t* payload, int32_t* result);
