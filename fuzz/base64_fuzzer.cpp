// DecodeBase64 beside the gSOAP runtime's soap_base642s on every input: the
// same result (null or not), count, bytes and context error. Each input is
// decoded as it is and as the base64 of its bytes in lines (so that long runs
// of the alphabet, the decoder's fast path, come up every time). The first
// byte chooses: bit 0, a context that already holds an error; bit 1, a buffer
// of the caller's (its size the second byte) instead of the context's memory;
// the rest, the width of the encoded lines.
#include <stdsoap2.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "plugin/base64.h"

namespace {

struct Options {
  bool priorError;
  bool callerBuffer;
  size_t bufferSize;
  size_t lineWidth;
};

// Contexts kept from input to input (a new one costs more than a decoding),
// emptied after each.
struct soap* const g_ours = soap_new();
struct soap* const g_runtime = soap_new();

void Compare(const Options& options, const std::string& text) {
  struct soap* ours = g_ours;
  struct soap* runtime = g_runtime;
  ours->error = runtime->error = options.priorError ? 7 : 0;
  int n = -1, m = -1;
  if (options.callerBuffer) {
    // Both buffers start alike, so that every byte either writes shows.
    std::vector<char> a(options.bufferSize + 1, '\x5A'), b(a);
    const char* x = DecodeBase64(ours, text.c_str(), a.data(), options.bufferSize, &n);
    const char* y = soap_base642s(runtime, text.c_str(), b.data(), options.bufferSize, &m);
    FUZZ_CHECK(x == y || (x == a.data() && y == b.data()));
    FUZZ_CHECK(a == b);
  } else {
    const char* x = DecodeBase64(ours, text.c_str(), nullptr, 0, &n);
    const char* y = soap_base642s(runtime, text.c_str(), nullptr, 0, &m);
    FUZZ_CHECK((x == nullptr) == (y == nullptr));
    if (x != nullptr && n > 0) {
      FUZZ_CHECK(n == m && std::memcmp(x, y, static_cast<size_t>(n) + 1) == 0);
    }
  }
  FUZZ_CHECK(n == m);
  FUZZ_CHECK(ours->error == runtime->error);
  soap_end(ours);
  soap_end(runtime);
}

// The base64 of `bytes` in lines of `width` characters ended by CR LF.
std::string Encode(const uint8_t* bytes, size_t size, size_t width) {
  struct soap* soap = g_runtime;
  const char* encoded = soap_s2base64(soap, bytes, nullptr, static_cast<int>(size));
  std::string text;
  for (size_t i = 0; encoded != nullptr && encoded[i] != '\0'; ++i) {
    if (i > 0 && i % width == 0) text += "\r\n";
    text += encoded[i];
  }
  soap_end(soap);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 16)) return 0;
  const Options options{(data[0] & 1) != 0, (data[0] & 2) != 0, data[1],
                        static_cast<size_t>(data[0] >> 2) + 1};
  // Zero bytes stay in: both stop at the first.
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  Compare(options, text);
  Compare(options, Encode(data + 2, size - 2, options.lineWidth));
  return 0;
}
