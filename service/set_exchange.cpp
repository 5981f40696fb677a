// The Set exchange: context settings, request and the mended response reading.
#include "service/set_exchange.h"

#include <string>

#include "DeviceConfigH.h"
#include "DeviceConfig.nsmap"
#include "platform/network.h"
#include "service/soap_context.h"

namespace {

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

// A body that holds neither a SetResponse nor a fault: a tag mismatch, and a
// fault report that says so rather than what the runtime guessed.
int NeitherResponseNorFault(struct soap* soap) {
  *soap_faultcode(soap) = nullptr;
  *soap_faultstring(soap) = nullptr;
  soap->error = SOAP_TAG_MISMATCH;
  return soap_closesock(soap);
}

// The answer when no readable SetResponse came. Without a SOAP envelope the
// HTTP status answers when it is an error, as the runtime has it. With one,
// the body decides whatever HTTP status carried it: a fault's status, else
// the runtime's error in reading the body, else a tag mismatch; never 0. The
// runtime's own fault reading would put a 400 or 500 in place of any of these.
int BodyStatus(struct soap* soap) {
  if (soap->version == 0) {
    const int status = soap_recv_fault(soap, 0);
    if (status == SOAP_OK || (status >= 200 && status <= 299)) return NeitherResponseNorFault(soap);
    return status;
  }
  const bool mayBeFault =
      soap->error == SOAP_NO_TAG || (soap->error == SOAP_TAG_MISMATCH && soap->level == 2);
  if (!mayBeFault) return soap_closesock(soap);
  soap->error = SOAP_OK;
  if (soap_getfault(soap)) {
    if (soap->error == SOAP_NO_TAG || soap->error == SOAP_TAG_MISMATCH)
      return NeitherResponseNorFault(soap);
    return soap_closesock(soap);
  }
  const int status = FaultStatus(soap, SOAP_FAULT);
  if (!soap_body_end_in(soap)) soap_envelope_end_in(soap);
  soap_end_recv(soap);
  soap->error = status;
  return soap_closesock(soap);
}

// The generated receive, with the body's status as above and fault codes
// classified by FaultStatus.
int ReceiveSetResponse(struct soap* soap, int32_t* result) {
  *result = 0;
  soap->transfer_timeout = kReceiveTransferTimeout;
  if (soap_begin_recv(soap) || soap_envelope_begin_in(soap) || soap_recv_header(soap) ||
      soap_body_begin_in(soap))
    return soap_closesock(soap);
  soap->mode |= SOAP_XML_STRICT;
  soap__SetResponse* response =
      soap_get_soap__SetResponse(soap, nullptr, "soap:SetResponse", nullptr);
  if (response == nullptr || soap->error) return BodyStatus(soap);
  if (soap_body_end_in(soap) || soap_envelope_end_in(soap) || soap_end_recv(soap))
    return soap_closesock(soap);
  *result = response->r;
  return soap_closesock(soap);
}

}  // namespace

struct soap* NewSetContext() {
  struct soap* soap = soap_new();
  if (soap == nullptr) return nullptr;
  soap_set_namespaces(soap, DeviceConfig_namespaces);
  ApplyReceiveLimits(soap);
  soap->fignore = SkipUnknownElement;
  soap->socket_flags = platform::SendFlagsWithoutSignal();
  return soap;
}

int ExchangeSet(struct soap* soap, const char* url, const wchar_t* xIn, int32_t* result) {
  int status = soap_send_soap__Set(soap, url, "", const_cast<wchar_t*>(xIn));
  if (status == SOAP_OK) status = ReceiveSetResponse(soap, result);
  return status;
}

void TearDownSetContext(struct soap* soap) {
  soap_clr_mime(soap);
  soap_destroy(soap);
  soap_end(soap);
  soap_done(soap);
  soap_free(soap);
}
