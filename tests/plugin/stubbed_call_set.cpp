// Stands in for the service call, so that nothing reaches a network.
#include "service/call_set.h"
#include "support/text_conversion.h"
#include "tests/plugin/part_command.h"
#include "tests/plugin/wchar_payload.h"

std::vector<StubbedCall> g_calls;

int CallSet(const char* endpoint, const WideChar* payload, int32_t* result) {
  const WideString units = payload != nullptr ? payload : WIDE("");
  g_calls.push_back({endpoint != nullptr ? endpoint : "", ToUtf8(units), units});
  if (result != nullptr) *result = 17;
  return 0;
}

int CallSetWchar(const char* endpoint, const wchar_t* payload, int32_t* result) {
  return CallSet(endpoint, Utf16Units(payload).c_str(), result);
}
