// The Set client call on the plug-in's own context, fed an arbitrary HTTP
// response through the runtime's transport hooks, without a network: it
// returns, answers 0 only when a SetResponse with r arrived, leaves r at 0
// otherwise, and the teardown frees everything.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "DeviceConfigH.h"
#include "fuzz/fuzz_check.h"
#include "service/set_exchange.h"

namespace {

struct Wire {
  const uint8_t* data;
  size_t size;
  size_t at;
  std::string body;  // what the runtime handed on for parsing, de-chunked
};

constexpr SOAP_SOCKET kFakeSocket = 0x3FFFFFF0;  // never an open descriptor

SOAP_SOCKET Open(struct soap*, const char*, const char*, int) { return kFakeSocket; }

int Send(struct soap*, const char*, size_t) { return SOAP_OK; }

size_t Receive(struct soap* soap, char* buffer, size_t length) {
  Wire* wire = static_cast<Wire*>(soap->user);
  const size_t n = std::min(length, wire->size - wire->at);
  std::memcpy(buffer, wire->data + wire->at, n);
  wire->at += n;
  return n;
}

int Close(struct soap* soap) {
  soap->socket = SOAP_INVALID_SOCKET;
  return SOAP_OK;
}

int Prepare(struct soap* soap, const char* bytes, size_t length) {
  static_cast<Wire*>(soap->user)->body.append(bytes, length);
  return SOAP_OK;
}

// An element whose local name is r, in any prefix.
bool HasRElement(const std::string& text) {
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    size_t name = at + 1;
    size_t end = name;
    while (end < text.size() && text[end] != '>' && text[end] != '/' && text[end] != ' ' &&
           text[end] != '\t' && text[end] != '\r' && text[end] != '\n')
      ++end;
    const std::string qname = text.substr(name, end - name);
    const size_t colon = qname.rfind(':');
    if ((colon == std::string::npos ? qname : qname.substr(colon + 1)) == "r") return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Wire wire{data, size, 0, std::string()};
  struct soap* soap = NewSetContext();
  FUZZ_CHECK(soap != nullptr);
  soap->user = &wire;
  soap->fopen = Open;
  soap->fsend = Send;
  soap->frecv = Receive;
  soap->fclose = Close;
  soap->fpreparerecv = Prepare;

  char messageId[] = "12345";
  char to[] = "http://127.0.0.1:8000";
  SOAP_ENV__Header header;
  soap_default_SOAP_ENV__Header(soap, &header);
  header.wsa__MessageID = messageId;
  header.wsa__To = to;
  header.wsa__Action = to;
  soap->header = &header;

  wchar_t xIn[] = L"<Root Template=\"true\" OS=\"All\"/>";
  int32_t result = 1234;
  const int status = ExchangeSet(soap, to, xIn, &result);
  if (status == SOAP_OK) {
    FUZZ_CHECK(wire.body.find("SetResponse") != std::string::npos);
    FUZZ_CHECK(HasRElement(wire.body));
  } else {
    FUZZ_CHECK(result == 0);
  }
  TearDownSetContext(soap);
  return 0;
}
