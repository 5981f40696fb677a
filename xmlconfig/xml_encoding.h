// The encoding of an XML document's bytes: what its declaration names, and
// its text read in that encoding.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/wide.h"

// The EncName of the XML declaration that starts `bytes` (after a UTF-8
// byte-order mark), read as single bytes; empty when there is no declaration
// or it names no encoding.
std::string DeclaredEncoding(const char* bytes, size_t size);

// True for the names the library reads as UTF-8 without a converter.
bool NamesUtf8(const std::string& encoding);

// How XmlTextFromBytes read a document's bytes, for a caller that asks why
// the text is what it is.
struct XmlTextReading {
  // The encoding the bytes were read in: UTF-8, UTF-16LE, UTF-16BE,
  // ISO-8859-1, US-ASCII or windows-1252.
  std::string encoding;
  // What the XML declaration names; empty when it names nothing.
  std::string declared;
  // The bytes read: reading stops at the first zero byte (UTF-16: zero unit).
  size_t bytesRead = 0;
  // How many U+FFFD stand for bytes or units that fit nothing, and the byte
  // offsets of the first kReplacementsListed of them.
  size_t replacements = 0;
  std::vector<size_t> replacedAt;
};
constexpr size_t kReplacementsListed = 16;

// Bytes that are valid UTF-8 up to the first zero byte convert as UTF-8, as
// they always have. Other bytes are read in the encoding the document
// declares, by its byte-order mark first and then its XML declaration:
// UTF-16 (little or big endian, up to the first zero unit), ISO-8859-1,
// US-ASCII or windows-1252. Where it declares none of these, UTF-8 with each
// ill-formed sequence replaced by U+FFFD. Characters of a single-byte
// encoding that it leaves undefined, and unpaired surrogates, become U+FFFD.
// Text that was converted (any but valid UTF-8) no longer is what its
// declaration names: the declaration's encoding becomes "UTF-8", its version
// and standalone kept, so that the payload made of it, carried as UTF-8,
// reads right both as text and as a stored file. `reading`, when given, is
// told how the bytes were read (`declared` as the bytes name it).
WideString XmlTextFromBytes(const char* bytes, size_t size, XmlTextReading* reading = nullptr);
