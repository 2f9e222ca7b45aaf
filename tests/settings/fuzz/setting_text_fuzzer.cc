// libFuzzer entry for the setting text readers.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/fuzz/setting_text_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = ovc::test::CheckSettingText(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
