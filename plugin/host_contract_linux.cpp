// The layout the host contract rests on, pinned for this target (x86-64
// Linux, Debian's gSOAP 2.8.124 built with WITH_IPV6 and WITH_DOM): a
// toolchain or runtime that lays it out otherwise fails the build here, not
// in a host.
#include <stdsoap2.h>

#include <cstddef>

#include "plugin/host_command.h"

static_assert(sizeof(void*) == 8, "these pins are for x86-64");
static_assert(GSOAP_VERSION == 208124, "the host and the plug-in share one gSOAP release");
static_assert(offsetof(struct soap, mime) == 131160, "where the host's context keeps its MIME parts");
static_assert(offsetof(struct soap_multipart, next) == 0 && offsetof(struct soap_multipart, ptr) == 8 &&
                  offsetof(struct soap_multipart, size) == 16 &&
                  offsetof(struct soap_multipart, encoding) == 48,
              "the fields of a MIME part the plug-in reads");
static_assert(sizeof(WideString) == 32, "the wide string the host fills");
static_assert(sizeof(AttributeMap) == 48, "the map the host fills");
