// CallSet: one Set request on a fresh gSOAP context, torn down before return.
#include "service/call_set.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "DeviceConfigH.h"
#include "platform/process.h"
#include "service/local_address.h"
#include "service/proxy_settings.h"
#include "service/set_exchange.h"
#include "support/buffer_sizes.h"

namespace {

constexpr int kRejected = 2;
constexpr int kTimeoutSeconds = 15;
// The message identifier: a tick count in decimal, with room to spare.
constexpr size_t kMessageIdBytes = 40;

static_assert(sizeof(int32_t) == sizeof(int), "the generated call takes r as int");

// gSOAP holds wide text as wchar_t, which is UTF-32 here: pairs of surrogates
// become one character, an unpaired one becomes U+FFFD.
wchar_t* CopyPayload(struct soap* soap, const WideChar* payload) {
  size_t length = 0;
  while (payload[length] != 0) ++length;
  auto* copy = static_cast<wchar_t*>(soap_malloc(soap, (length + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return nullptr;
  size_t out = 0;
  for (size_t i = 0; i < length;) {
    // Units outside the surrogate range, nearly all of a template, go as
    // they are, in a loop of their own.
    while (i < length &&
           (sizeof(wchar_t) == sizeof(WideChar) || (payload[i] & 0xF800) != 0xD800)) {
      copy[out++] = static_cast<wchar_t>(payload[i++]);
    }
    if (i >= length) break;
    char32_t c = payload[i++];
    if (c <= 0xDBFF && i < length && payload[i] >= 0xDC00 && payload[i] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (payload[i] - 0xDC00);
      ++i;
    } else {
      c = 0xFFFD;
    }
    copy[out++] = static_cast<wchar_t>(c);
  }
  copy[out] = 0;
  return copy;
}

// The payload already in the runtime's form, where the platform's wide type
// is wchar_t itself (Windows): sent as it is, with no copy.
template <typename Unit>
const wchar_t* RuntimeForm(const Unit* payload) {
  if constexpr (std::is_same<Unit, wchar_t>::value) {
    return payload;
  } else {
    return nullptr;
  }
}

bool IsLocalEndpoint(const char* buffer) {
  const char* host = buffer + 7;  // just past "http://"
  return std::strncmp(host, "127.0.0.1", 9) == 0 || std::strncmp(host, "localhost", 9) == 0;
}

// CallSet once its payload is known not to be empty: `wide` is the payload as
// the runtime holds it, sent from where it lies, or null to have `payload`
// copied into that form in the call's own context.
int Call(const char* endpoint, const WideChar* payload, const wchar_t* wide, int32_t* result) {
  if (endpoint == nullptr || *endpoint == 0 || std::strstr(endpoint, "http://0.0.0.0") != nullptr ||
      result == nullptr)
    return kRejected;
  // Refused rather than cut: a shortened URL would name another address.
  if (strnlen(endpoint, kTextBufferSize) == kTextBufferSize) {
    // Cutting it would make another address of it: refused whole, and said.
    platform::BrokenPipeGuard quiet;
    std::fprintf(stderr, "CallSet: endpoint longer than %u characters; not sent\n",
                 static_cast<unsigned>(kTextBufferSize - 1));
    return kRejected;
  }

  struct soap* soap = NewSetContext();
  if (soap == nullptr) return SOAP_EOM;

  char url[kTextBufferSize] = {};
  std::memcpy(url, endpoint, std::strlen(endpoint));
  if (!IsLocalEndpoint(url) && !ApplyProxy(url)) {
    TearDownSetContext(soap);
    return kRejected;
  }

  char address[kTextBufferSize] = {};
  GetLocalAddressList(address);

  char messageId[kMessageIdBytes] = {};
  std::snprintf(messageId, sizeof messageId, "%d", static_cast<int32_t>(platform::TickCount()));

  wsa__EndpointReferenceType from;
  soap_default_wsa__EndpointReferenceType(soap, &from);
  from.Address = address;
  SOAP_ENV__Header header;
  soap_default_SOAP_ENV__Header(soap, &header);
  header.wsa__MessageID = messageId;
  header.wsa__From = &from;
  header.wsa__To = soap_strdup(soap, endpoint);
  header.wsa__Action = header.wsa__To;
  soap->header = &header;
  soap->recv_timeout = kTimeoutSeconds;
  soap->send_timeout = kTimeoutSeconds;

  const wchar_t* xIn = wide != nullptr ? wide : CopyPayload(soap, payload);
  int status = xIn == nullptr || header.wsa__To == nullptr
                   ? SOAP_EOM
                   : ExchangeSet(soap, url, xIn, result);
  if (status != SOAP_OK) {
    // The host's standard error may be a pipe its reader has left.
    platform::BrokenPipeGuard quiet;
    soap_print_fault(soap, stderr);
  }

  TearDownSetContext(soap);
  return status;
}

}  // namespace

int CallSet(const char* endpoint, const WideChar* payload, int32_t* result) {
  if (payload == nullptr || *payload == 0) return kRejected;
  return Call(endpoint, payload, RuntimeForm(payload), result);
}

int CallSetWchar(const char* endpoint, const wchar_t* payload, int32_t* result) {
  if (payload == nullptr || *payload == 0) return kRejected;
  return Call(endpoint, nullptr, payload, result);
}
