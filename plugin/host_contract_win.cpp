// The layout the host contract rests on, pinned for this target (32-bit
// Windows, mingw-w64 i686, gSOAP 2.8.124 built with WITH_IPV6 and WITH_DOM):
// a toolchain or runtime that lays it out otherwise fails the build here, not
// in a host.
#include <stdsoap2.h>

#include <cstddef>

#include "plugin/host_command.h"

static_assert(sizeof(void*) == 4, "these pins are for 32-bit Windows");
static_assert(GSOAP_VERSION == 208124, "the host and the plug-in share one gSOAP release");
static_assert(offsetof(struct soap, mime) == 106172, "where the host's context keeps its MIME parts");
static_assert(offsetof(struct soap_multipart, next) == 0 && offsetof(struct soap_multipart, ptr) == 4 &&
                  offsetof(struct soap_multipart, size) == 8 &&
                  offsetof(struct soap_multipart, encoding) == 24,
              "the fields of a MIME part the plug-in reads");
static_assert(sizeof(WideString) == 24, "the wide string the host fills");
static_assert(sizeof(AttributeMap) == 24, "the map the host fills");
