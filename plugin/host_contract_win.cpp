// The layout the host contract rests on, pinned for this target (32-bit
// Windows, mingw-w64 i686, gSOAP 2.8.124 built with WITH_IPV6 and WITH_DOM):
// a toolchain or runtime that lays it out otherwise fails the build here, not
// in a host. The second figure of each pin is for the 64-bit build
// (mingw-w64 x86_64) that scripts/test-win32 falls back to where 32-bit Wine
// cannot run; the shipped DLLs are 32-bit.
#include <stdsoap2.h>

#include <cstddef>

#include "plugin/host_command.h"

namespace {
constexpr size_t Pin(size_t on32, size_t on64) { return sizeof(void*) == 4 ? on32 : on64; }
}  // namespace

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "these pins are for 32- and 64-bit Windows");
static_assert(GSOAP_VERSION == 208124, "the host and the plug-in share one gSOAP release");
static_assert(offsetof(struct soap, mime) == Pin(106172, 131168),
              "where the host's context keeps its MIME parts");
static_assert(offsetof(struct soap_multipart, next) == 0 &&
                  offsetof(struct soap_multipart, ptr) == Pin(4, 8) &&
                  offsetof(struct soap_multipart, size) == Pin(8, 16) &&
                  offsetof(struct soap_multipart, encoding) == Pin(24, 48),
              "the fields of a MIME part the plug-in reads");
static_assert(sizeof(WideString) == Pin(24, 32), "the wide string the host fills");
static_assert(sizeof(AttributeMap) == Pin(24, 48), "the map the host fills");
