// DecodeBase64 against the gSOAP runtime's soap_base642s on the inputs where
// a decoder of its own could part from it (fuzz/base64_fuzzer.cpp compares
// both on any input).
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <string>
#include <vector>

#include "plugin/base64.h"

namespace {

struct Answer {
  bool null;
  int n;
  int error;
  std::string bytes;  // the count's bytes and the zero after them
  std::vector<char> buffer;  // a caller's buffer, whole
};

template <typename Decode>
Answer Decoded(Decode decode, const char* text, int priorError, int bufferSize) {
  struct soap* soap = soap_new();
  soap->error = priorError;
  Answer answer{};
  answer.n = -1;
  if (bufferSize < 0) {
    const char* out = decode(soap, text, nullptr, 0, &answer.n);
    answer.null = out == nullptr;
    if (out != nullptr && answer.n > 0) answer.bytes.assign(out, static_cast<size_t>(answer.n) + 1);
  } else {
    answer.buffer.assign(static_cast<size_t>(bufferSize) + 1, '\x5A');
    answer.null = decode(soap, text, answer.buffer.data(), bufferSize, &answer.n) == nullptr;
  }
  answer.error = soap->error;
  soap_end(soap);
  soap_free(soap);
  return answer;
}

std::string Mime(size_t bytes) {
  std::string raw;
  for (size_t i = 0; i < bytes; ++i) raw += static_cast<char>(i * 7 + 3);
  struct soap* soap = soap_new();
  const std::string encoded = soap_s2base64(soap, reinterpret_cast<const unsigned char*>(raw.data()),
                                            nullptr, static_cast<int>(raw.size()));
  soap_end(soap);
  soap_free(soap);
  std::string text;
  for (size_t i = 0; i < encoded.size(); i += 76) text += encoded.substr(i, 76) + "\r\n";
  return text;
}

TEST(Base64, AnswersWhatTheRuntimeAnswersOnOddInputs) {
  std::vector<std::string> inputs = {
      "", "TWFu", "TWE=", "TQ==", "TWFuTWFu", "TWE", "TQ", "T", "TWFuT", "TWFuTW", "TWFuTWF",
      // blanks anywhere, each of 1 to 32
      " TWFu", "TWFu ", "T W\r\nF u\t", "TW\nFu\r\nTWE=\n", "\x01TW\x1f" "Fu\x20", "\r\n\r\n",
      // padding mid-way, alone, or followed by more
      "TQ==TWFu", "TWE=TWFu", "=TWFu", "=", "==", "AB=C", "TWFu=garbage!", "TQ=",
      // outside the alphabet: before, inside and after a group
      "-", "TW-u", "TW_u", "TWFu~", "TWFu\x7f", "TWF\x80", "\xff" "TWFu", "TWFu\xc3\xa9", "TWFu.TWFu",
      "TWFu\x21", "TWFu,"};
  const std::string mime = Mime(3000);
  inputs.push_back(mime);
  inputs.push_back(mime.substr(0, 1000) + "*" + mime.substr(1000));
  inputs.push_back(mime.substr(0, 2001) + "=" + mime.substr(2001));
  inputs.push_back(mime.substr(0, 1503));
  for (const std::string& input : inputs) {
    for (const char* text : {input.c_str(), static_cast<const char*>(nullptr)}) {
      if (text == nullptr && !input.empty()) continue;
      for (int priorError : {0, 7}) {
        for (int bufferSize : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 64}) {
          const Answer ours = Decoded(DecodeBase64, text, priorError, bufferSize);
          const Answer runtime = Decoded(soap_base642s, text, priorError, bufferSize);
          const std::string what = "input \"" + input.substr(0, 40) + "\" error " +
                                   std::to_string(priorError) + " buffer " + std::to_string(bufferSize);
          EXPECT_EQ(ours.null, runtime.null) << what;
          EXPECT_EQ(ours.n, runtime.n) << what;
          EXPECT_EQ(ours.error, runtime.error) << what;
          EXPECT_EQ(ours.bytes, runtime.bytes) << what;
          EXPECT_EQ(ours.buffer, runtime.buffer) << what;
        }
      }
    }
  }
}

}  // namespace
