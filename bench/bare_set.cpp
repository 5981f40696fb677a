// A bare generated Set call, the floor that CallSet is measured against.
#include "bench/bare_set.h"

#include "DeviceConfigH.h"
#include "DeviceConfig.nsmap"

int BenchBareSet(const char* url, const wchar_t* xIn, int* r) {
  struct soap* soap = soap_new();
  if (soap == nullptr) return SOAP_EOM;
  soap_set_namespaces(soap, DeviceConfig_namespaces);
  soap->recv_timeout = 15;
  soap->send_timeout = 15;
  const int status = soap_call_soap__Set(soap, url, "", const_cast<wchar_t*>(xIn), *r);
  soap_destroy(soap);
  soap_end(soap);
  soap_done(soap);
  soap_free(soap);
  return status;
}
