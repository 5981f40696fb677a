// A shared library carrying CallSet with its own gSOAP runtime, built the way
// the plug-in is, for loading into a host that has gSOAP code of its own.
#include <cstdint>

#include "service/call_set.h"

extern "C" __attribute__((visibility("default"))) int ModuleCallSet(const char* endpoint,
                                                                    const WideChar* payload,
                                                                    int32_t* result) {
  return CallSet(endpoint, payload, result);
}
