// Runs one CallSet from the command line, so that tests can place it in an
// agent folder of their own and read what it prints.
#include <cstdio>
#include <cstdint>

#include "service/call_set.h"
#include "support/text_conversion.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: call_set_probe ENDPOINT PAYLOAD\n");
    return 64;
  }
  WideString payload = FromUtf8(argv[2]);
  int32_t result = 1234;  // shows whether CallSet touched it
  int status = CallSet(argv[1], payload.c_str(), &result);
  std::fflush(stderr);
  std::printf("status=%d result=%d\n", status, static_cast<int>(result));
  return 0;
}
