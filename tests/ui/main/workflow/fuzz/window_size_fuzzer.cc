// libFuzzer entry for the "WindowSize" setting reader.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/main/workflow/fuzz/window_size_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = ovc::test::CheckWindowSize(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
