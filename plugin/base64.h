// Module Base64: the attachment's base64, undone at memory speed.
#pragma once

#include <cstddef>

struct soap;

// Answers exactly what the gSOAP runtime's soap_base642s (2.8.124) answers for
// the same arguments: the same bytes in `t` (or, when `t` is null, in memory
// of `soap` taken with soap_malloc, of the runtime's size), the same count in
// *n, the same null or non-null result and the same soap->error. That is:
// characters 1 to 32 are skipped wherever they stand, the first zero byte or
// "=" ends the text (bits of an incomplete last group that do not fill a byte
// are dropped), any other character outside the alphabet fails with
// soap->error = SOAP_TYPE, and no more than `l` bytes are written to a given
// `t`. `s` is zero-terminated, as the runtime needs it. Groups of four
// alphabet characters go through a table, four characters at a time; every
// other character is read by the runtime's own steps.
const char* DecodeBase64(struct soap* soap, const char* s, char* t, size_t l, int* n);
