// CallSet: one Set request on a fresh gSOAP context, torn down before return.
#include "service/call_set.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "DeviceConfigH.h"
#include "DeviceConfig.nsmap"
#include "platform/clock.h"
#include "service/local_address.h"
#include "service/proxy_settings.h"
#include "service/soap_context.h"

namespace {

constexpr int kRejected = 2;
constexpr int kTimeoutSeconds = 15;

static_assert(sizeof(int32_t) == sizeof(int), "the generated call takes r as int");

// gSOAP holds wide text as wchar_t, which is UTF-32 here: pairs of surrogates
// become one character, an unpaired one becomes U+FFFD.
wchar_t* CopyPayload(struct soap* soap, const WideChar* payload) {
  size_t length = 0;
  while (payload[length] != 0) ++length;
  auto* copy = static_cast<wchar_t*>(soap_malloc(soap, (length + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return nullptr;
  size_t out = 0;
  for (size_t i = 0; i < length; ++i) {
    char32_t c = payload[i];
    if (sizeof(wchar_t) == sizeof(WideChar)) {
      copy[out++] = static_cast<wchar_t>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && payload[i + 1] >= 0xDC00 &&
        payload[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (payload[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    copy[out++] = static_cast<wchar_t>(c);
  }
  copy[out] = 0;
  return copy;
}

// The runtime compares a fault's code by the prefix that the peer declared,
// so a peer that names the envelope namespace "env" gets 12 for every code.
// The code it stored is already written with our own prefixes; read it again.
int FaultStatus(struct soap* soap, int status) {
  if (status != SOAP_FAULT || soap->fault == nullptr) return status;
  const char* const* code = soap_faultcode(soap);
  if (code == nullptr || *code == nullptr) return status;
  const std::string text = *code;
  if (text == "SOAP-ENV:Server" || text == "SOAP-ENV:Receiver") return SOAP_SVR_FAULT;
  if (text == "SOAP-ENV:Client" || text == "SOAP-ENV:Sender") return SOAP_CLI_FAULT;
  if (text == "SOAP-ENV:MustUnderstand") return SOAP_MUSTUNDERSTAND;
  if (text == "SOAP-ENV:VersionMismatch") return SOAP_VERSIONMISMATCH;
  return status;
}

// The generated receive, with two mends: it takes a body that holds neither a
// SetResponse nor a fault for success (or for the HTTP status); that is a
// tag mismatch, never 0. And fault codes are classified as above.
int ReceiveSetResponse(struct soap* soap, int32_t* result) {
  *result = 0;
  soap->transfer_timeout = kReceiveTransferTimeout;
  if (soap_begin_recv(soap) || soap_envelope_begin_in(soap) || soap_recv_header(soap) ||
      soap_body_begin_in(soap))
    return soap_closesock(soap);
  soap->mode |= SOAP_XML_STRICT;
  soap__SetResponse* response =
      soap_get_soap__SetResponse(soap, nullptr, "soap:SetResponse", nullptr);
  if (response == nullptr || soap->error) {
    int status = soap_recv_fault(soap, 0);
    if (status == SOAP_OK || (status >= 200 && status <= 299)) {
      soap->error = SOAP_TAG_MISMATCH;
      status = soap_closesock(soap);
    }
    return soap->error = FaultStatus(soap, status);
  }
  if (soap_body_end_in(soap) || soap_envelope_end_in(soap) || soap_end_recv(soap))
    return soap_closesock(soap);
  *result = response->r;
  return soap_closesock(soap);
}

bool IsLocalEndpoint(const char* buffer) {
  const char* host = buffer + 7;  // just past "http://"
  return std::strncmp(host, "127.0.0.1", 9) == 0 || std::strncmp(host, "localhost", 9) == 0;
}

void TearDown(struct soap* soap) {
  soap_clr_mime(soap);
  soap_destroy(soap);
  soap_end(soap);
  soap_done(soap);
  soap_free(soap);
}

}  // namespace

int CallSet(const char* endpoint, const WideChar* payload, int32_t* result) {
  if (endpoint == nullptr || *endpoint == 0 || std::strstr(endpoint, "http://0.0.0.0") != nullptr ||
      payload == nullptr || *payload == 0 || result == nullptr)
    return kRejected;
  // Refused rather than cut: a shortened URL would name another address.
  if (strnlen(endpoint, kEndpointBufferSize) == kEndpointBufferSize) return kRejected;

  struct soap* soap = soap_new();
  if (soap == nullptr) return SOAP_EOM;
  soap_set_namespaces(soap, DeviceConfig_namespaces);
  ApplyReceiveLimits(soap);
  soap->fignore = SkipUnknownElement;

  char url[kEndpointBufferSize] = {};
  std::memcpy(url, endpoint, std::strlen(endpoint));
  if (!IsLocalEndpoint(url) && !ApplyProxy(url)) {
    TearDown(soap);
    return kRejected;
  }

  char address[kProxyBufferSize] = {};
  GetLocalAddressList(address);

  char messageId[40] = {};
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

  wchar_t* xIn = CopyPayload(soap, payload);
  int status = xIn == nullptr || header.wsa__To == nullptr
                   ? SOAP_EOM
                   : soap_send_soap__Set(soap, url, "", xIn);
  if (status == SOAP_OK) status = ReceiveSetResponse(soap, result);
  if (status != SOAP_OK) soap_print_fault(soap, stderr);

  TearDown(soap);
  return status;
}
