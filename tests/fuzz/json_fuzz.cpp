// libFuzzer entry: any input must parse or fail cleanly, and what parses
// must write text that reads back the same.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/JsonRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string broken = JsonRoundTrip(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "round trip: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
