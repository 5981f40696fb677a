// Settings that every gSOAP context of the service shares, client or server.
// Include after the generated message header (it brings stdsoap2.h).
#pragma once

constexpr long kReceiveMaxLength = 1024 * 1024;

// Bounds on what a peer can make us read; what we send is not bounded here.
// A string may be as long as the whole message, so that every response
// within the message bound is read as it is, fault strings included.
inline void ApplyReceiveLimits(struct soap* soap) {
  soap->recv_maxlength = kReceiveMaxLength;
  soap->maxlength = kReceiveMaxLength;
  soap->maxlevel = 32;
  soap->maxoccurs = 1024;
}

// Whole-response limit in seconds, set once the request is out: a large
// payload may take longer than this to send.
constexpr int kReceiveTransferTimeout = 30;

// Strict reading refuses unknown elements unless this hook lets them pass.
// Setting a hook also turns off the runtime's own must-understand check, so
// the hook makes it: an unknown element meant for us that must be understood
// fails the message.
inline int SkipUnknownElement(struct soap* soap, const char* /*tag*/) {
  return soap->mustUnderstand && !soap->other ? SOAP_MUSTUNDERSTAND : SOAP_OK;
}
